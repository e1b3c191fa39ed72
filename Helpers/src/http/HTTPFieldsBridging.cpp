#include "helpers/HTTPFieldsBridging.hpp"

#include <base/PercentEncoding.hpp>

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

const base::CharacterSet& queryEscapingAllowed() {
  static const base::CharacterSet allowed = base::CharacterSet::urlQueryAllowed().subtracting(":#[]@!$&'()*+,;=");
  return allowed;
}

std::string escaped(const std::string& text) {
  return base::addingPercentEncoding(text, queryEscapingAllowed()).value_or(text);
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
  std::map<std::string, std::string> result;
  for (const auto& field : fields) result[field.name().rawName()] = field.value();
  return result;
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

void appendOrUpdate(std::vector<base::URLQueryItem>& items, base::URLQueryItem item) {
  for (auto& existing : items) {
    if (existing.name == item.name) {
      existing = std::move(item);
      return;
    }
  }
  items.push_back(std::move(item));
}

base::URL appendingQueryItems(const base::URL& url, const std::vector<base::URLQueryItem>& items) {
  if (items.empty()) return url;
  base::URLComponents components(url);
  auto all = components.percentEncodedQueryItems().value_or(std::vector<base::URLQueryItem>{});
  for (const auto& item : items) {
    all.push_back(base::URLQueryItem{escaped(item.name),
                                     item.value ? std::optional<std::string>(escaped(*item.value)) : std::nullopt});
  }
  components.setPercentEncodedQueryItems(all);
  return components.url().value_or(url);
}

void appendQueryItems(base::URL& url, const std::vector<base::URLQueryItem>& items) {
  url = appendingQueryItems(url, items);
}

}  // namespace zirudeze::helpers
