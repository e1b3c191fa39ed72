#include "testsupport/RecordedRequest.hpp"

#include <algorithm>
#include <cctype>

namespace velmoria::testsupport {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

std::vector<std::string> RecordedRequest::headerValues(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) values.push_back(value);
  }
  return values;
}

std::optional<std::string> RecordedRequest::queryValue(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return value;
  }
  return std::nullopt;
}

bool RecordedRequest::hasQueryItem(std::string_view name) const {
  return std::any_of(query.begin(), query.end(), [&](const auto& item) { return item.first == name; });
}

}  // namespace velmoria::testsupport
