#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Unicode text handling for host names. ASCII, which is what host names nearly always are,
// takes a fast path that never touches ICU.
namespace velmoria::filter::text {

// The bytes as text when they are well-formed UTF-8 (no overlongs, no surrogates), else nothing.
std::optional<std::string> decodeUtf8(std::span<const std::uint8_t> bytes);

// Full Unicode lower-case mapping, independent of the user's locale. Ill-formed input bytes
// become U+FFFD.
std::string lowercased(std::string_view text);

// True when lowercased(text) would return the text unchanged.
bool isLowercase(std::string_view text);

// The text without white space and line breaks at either end.
std::string_view trimmed(std::string_view text);

}  // namespace velmoria::filter::text
