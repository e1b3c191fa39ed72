#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/URLComponents.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::helpers {

// Header names every backend client shares.
struct HTTPFieldNames {
  static const http::HTTPField::Name& xClientInfo();  // "X-Client-Info"
  static const http::HTTPField::Name& xRegion();      // "x-region"
  static const http::HTTPField::Name& xRelayError();  // "x-relay-error"
};

// One field per entry, in the map's order. Entries whose key is not a valid field name are dropped.
http::HTTPFields fieldsFromDictionary(const std::map<std::string, std::string>& dictionary);
// The same from an ordered list of pairs, keeping their order.
http::HTTPFields fieldsFromPairs(const std::vector<std::pair<std::string, std::string>>& pairs);

// Written name (case kept) to value; of two fields with the same written name the later one wins.
std::map<std::string, std::string> dictionary(const http::HTTPFields& fields);
// The same entries as name/value pairs in the dictionary's order.
std::vector<std::pair<std::string, std::string>> writtenFields(const http::HTTPFields& fields);

// Sets every name of `other`, in its order, to that field's value: all fields of the name (any case)
// give way to one field. The other list wins; of a name repeated in it only the last value remains.
void merge(http::HTTPFields& fields, const http::HTTPFields& other);
http::HTTPFields merging(const http::HTTPFields& fields, const http::HTTPFields& other);

// Keeps one field of `separator`-joined key=value entries (the "Prefer" header): an entry with the same
// key is replaced in place, any other entry is appended.
void appendOrUpdate(http::HTTPFields& fields, const http::HTTPField::Name& name, std::string_view value,
                    std::string_view separator = ",");

// Replaces the first item of the same name (exact comparison), else appends.
void appendOrUpdate(std::vector<velmoria::base::URLQueryItem>& items, velmoria::base::URLQueryItem item);

// Appends query items, escaping names and values with the query characters minus ":#[]@!$&'()*+,;=".
// Existing items stay as they are. A URL the items cannot be applied to is returned unchanged.
velmoria::base::URL appendingQueryItems(const velmoria::base::URL& url,
                                        const std::vector<velmoria::base::URLQueryItem>& items);
// The absolute string of appendingQueryItems(url, items), without parsing the result again.
std::string appendingQueryItemsText(const velmoria::base::URL& url,
                                    const std::vector<velmoria::base::URLQueryItem>& items);
void appendQueryItems(velmoria::base::URL& url, const std::vector<velmoria::base::URLQueryItem>& items);

}  // namespace zirudeze::helpers
