#include "helpers/HTTPFieldsBridging.hpp"

#include <algorithm>

#include "base/PercentEncoding.hpp"

namespace zirudeze::helpers {
namespace {

using Name = http::HTTPField::Name;

std::vector<std::string> split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t start = 0;
  for (;;) {
    const auto found = text.find(separator, start);
    if (found == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, found - start));
    start = found + separator.size();
  }
}

const velmoria::base::CharacterSet& queryEscapingAllowed() {
  static const velmoria::base::CharacterSet allowed =
      velmoria::base::CharacterSet::urlQueryAllowed().subtracting(":#[]@!$&'()*+,;=");
  return allowed;
}

std::string escaped(const std::string& text) {
  return velmoria::base::addingPercentEncoding(text, queryEscapingAllowed()).value_or(text);
}

// Whether taking the URL apart and putting it together again gives back its text: only a port written
// unusually ("h:", "h:080") comes back different.
bool reassemblesUnchanged(const velmoria::base::URL& url) {
  const std::string& text = url.absoluteString();
  if (const auto port = url.componentText(velmoria::base::URLComponent::port))
    return *port == std::to_string(*url.port());
  const auto host = url.range(velmoria::base::URLComponent::host);
  if (!host) return true;
  const std::size_t hostEnd = host->location + host->length;
  return hostEnd >= text.size() || text[hostEnd] != ':';
}

// The escaped items joined with "&", or nothing when one of them is not UTF-8.
std::optional<std::string> joinedEscapedItems(const std::vector<velmoria::base::URLQueryItem>& items) {
  const auto& allowed = queryEscapingAllowed();
  std::string joined;
  for (const auto& item : items) {
    if (!joined.empty()) joined += '&';
    if (!velmoria::base::appendPercentEncoded(joined, item.name, allowed)) return std::nullopt;
    if (!item.value) continue;
    joined += '=';
    if (!velmoria::base::appendPercentEncoded(joined, *item.value, allowed)) return std::nullopt;
  }
  return joined;
}

}  // namespace

const Name& HTTPFieldNames::xClientInfo() {
  static const Name name = *Name::make("X-Client-Info");
  return name;
}

const Name& HTTPFieldNames::xRegion() {
  static const Name name = *Name::make("x-region");
  return name;
}

const Name& HTTPFieldNames::xRelayError() {
  static const Name name = *Name::make("x-relay-error");
  return name;
}

http::HTTPFields fieldsFromDictionary(const std::map<std::string, std::string>& dictionary) {
  http::HTTPFields fields;
  for (const auto& [key, value] : dictionary) {
    if (auto name = Name::make(key)) fields.append(http::HTTPField(std::move(*name), value));
  }
  return fields;
}

http::HTTPFields fieldsFromPairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
  http::HTTPFields fields;
  for (const auto& [key, value] : pairs) {
    if (auto name = Name::make(key)) fields.append(http::HTTPField(std::move(*name), value));
  }
  return fields;
}

std::map<std::string, std::string> dictionary(const http::HTTPFields& fields) {
  const auto written = writtenFields(fields);
  return std::map<std::string, std::string>(written.begin(), written.end());
}

std::vector<std::pair<std::string, std::string>> writtenFields(const http::HTTPFields& fields) {
  std::vector<std::pair<std::string, std::string>> pairs;
  pairs.reserve(fields.size());
  for (const auto& field : fields) pairs.emplace_back(field.name().rawName(), field.value());
  std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  // Of a run of equal names the last one stays.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (i + 1 < pairs.size() && pairs[i + 1].first == pairs[i].first) continue;
    if (kept != i) pairs[kept] = std::move(pairs[i]);
    ++kept;
  }
  pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(kept), pairs.end());
  return pairs;
}

void merge(http::HTTPFields& fields, const http::HTTPFields& other) {
  for (const auto& field : other) {
    const std::string value = field.value();
    fields.set(field.name(), std::string_view(value));
  }
}

http::HTTPFields merging(const http::HTTPFields& fields, const http::HTTPFields& other) {
  http::HTTPFields copy = fields;
  merge(copy, other);
  return copy;
}

void appendOrUpdate(http::HTTPFields& fields, const Name& name, std::string_view value, std::string_view separator) {
  const auto current = fields[name];
  if (!current) {
    fields.set(name, value);
    return;
  }
  auto pieces = split(*current, separator);
  std::optional<std::string> key;
  for (const auto& piece : split(value, "=")) {
    if (!piece.empty()) {
      key = piece;
      break;
    }
  }
  bool replaced = false;
  if (key) {
    const std::string prefix = *key + "=";
    for (auto& piece : pieces) {
      if (piece.compare(0, prefix.size(), prefix) == 0) {
        piece = std::string(value);
        replaced = true;
        break;
      }
    }
  }
  if (!replaced) pieces.emplace_back(value);
  std::string joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) joined.append(separator);
    joined.append(pieces[i]);
  }
  fields.set(name, std::string_view(joined));
}

void appendOrUpdate(std::vector<velmoria::base::URLQueryItem>& items, velmoria::base::URLQueryItem item) {
  for (auto& existing : items) {
    if (existing.name == item.name) {
      existing = std::move(item);
      return;
    }
  }
  items.push_back(std::move(item));
}

std::string appendingQueryItemsText(const velmoria::base::URL& url,
                                    const std::vector<velmoria::base::URLQueryItem>& items) {
  const std::string& text = url.absoluteString();
  if (items.empty()) return text;
  if (!reassemblesUnchanged(url)) return appendingQueryItems(url, items).absoluteString();
  const auto added = joinedEscapedItems(items);
  if (!added) return text;
  // The query sits between the path and the fragment; existing items stay as written.
  const auto path = *url.range(velmoria::base::URLComponent::path);
  const std::size_t queryStart = path.location + path.length;
  const auto query = url.componentText(velmoria::base::URLComponent::query);
  const std::size_t rest = query ? queryStart + 1 + query->size() : queryStart;
  std::string result;
  result.reserve(text.size() + added->size() + 2);
  result.append(text, 0, queryStart).push_back('?');
  if (query && !query->empty()) result.append(*query).push_back('&');
  result.append(*added).append(text, rest);
  return result;
}

velmoria::base::URL appendingQueryItems(const velmoria::base::URL& url,
                                        const std::vector<velmoria::base::URLQueryItem>& items) {
  if (items.empty()) return url;
  if (reassemblesUnchanged(url)) return velmoria::base::URL::parse(appendingQueryItemsText(url, items)).value_or(url);
  velmoria::base::URLComponents components(url);
  auto all = components.percentEncodedQueryItems().value_or(std::vector<velmoria::base::URLQueryItem>{});
  for (const auto& item : items) {
    all.push_back(velmoria::base::URLQueryItem{
        escaped(item.name), item.value ? std::optional<std::string>(escaped(*item.value)) : std::nullopt});
  }
  components.setPercentEncodedQueryItems(all);
  return components.url().value_or(url);
}

void appendQueryItems(velmoria::base::URL& url, const std::vector<velmoria::base::URLQueryItem>& items) {
  url = appendingQueryItems(url, items);
}

}  // namespace zirudeze::helpers
