#include "helpers/URLRequest.hpp"

#include <algorithm>

#include "helpers/URLResponse.hpp"

namespace zirudeze::helpers {

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) noexcept {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::optional<std::string> URLRequest::value(std::string_view name) const {
  for (const auto& [key, fieldValue] : allHTTPHeaderFields) {
    if (equalsIgnoringASCIICase(key, name)) return fieldValue;
  }
  return std::nullopt;
}

void URLRequest::setValue(std::optional<std::string> newValue, std::string_view name) {
  std::erase_if(allHTTPHeaderFields, [&](const auto& field) { return equalsIgnoringASCIICase(field.first, name); });
  if (newValue) allHTTPHeaderFields.emplace_back(std::string(name), std::move(*newValue));
}

void URLRequest::setAllHTTPHeaderFields(const std::map<std::string, std::string>& fields) {
  allHTTPHeaderFields.assign(fields.begin(), fields.end());
}

std::optional<std::string> HTTPURLResponse::value(std::string_view name) const {
  for (const auto& [key, fieldValue] : allHeaderFields) {
    if (equalsIgnoringASCIICase(key, name)) return fieldValue;
  }
  return std::nullopt;
}

}  // namespace zirudeze::helpers
