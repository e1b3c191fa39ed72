#include "httptypes/HTTPFieldName.hpp"

#include <string>

#include "httptypes/TokenCharacters.hpp"

namespace zirudeze::http {
namespace {

std::string asciiLowercased(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool isLowercaseToken(std::string_view text) {
  for (const char c : text) {
    if (c >= 'A' && c <= 'Z') return false;
    if (!isTokenCharacter(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

std::optional<HTTPFieldName> HTTPFieldName::make(std::string_view text) {
  if (text.empty() || !hasOnlyTokenCharacters(text)) return std::nullopt;
  return HTTPFieldName(std::string(text), asciiLowercased(text));
}

std::optional<HTTPFieldName> HTTPFieldName::parsed(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string_view tested = isPseudoHeaderName(text) ? text.substr(1) : text;
  if (!isLowercaseToken(tested)) return std::nullopt;
  return HTTPFieldName(std::string(text), std::string(text));
}

}  // namespace zirudeze::http
