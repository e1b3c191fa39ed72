#pragma once

#include <string_view>

namespace zirudeze::http {

// The tchar set of HTTP tokens: letters, digits and ! # $ % & ' * + - . ^ _ ` | ~.
[[nodiscard]] bool isTokenCharacter(unsigned char byte) noexcept;

// True when no byte of the text lies outside the token set. The empty text passes; callers that need a
// non-empty token check that themselves.
[[nodiscard]] bool hasOnlyTokenCharacters(std::string_view text) noexcept;

// The pseudo-header test: the first byte is ':'.
[[nodiscard]] inline bool isPseudoHeaderName(std::string_view text) noexcept {
  return !text.empty() && text.front() == ':';
}

}  // namespace zirudeze::http
