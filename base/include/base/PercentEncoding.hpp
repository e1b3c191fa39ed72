#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmoria::base {

// A set of ASCII characters left as they are by percent-encoding. Bytes of
// 0x80 and above (every non-ASCII character) are always encoded.
class CharacterSet {
 public:
  constexpr CharacterSet() noexcept = default;

  static CharacterSet characters(std::string_view ascii) noexcept;
  static CharacterSet alphanumerics() noexcept;  // A-Z, a-z, 0-9
  static CharacterSet urlUserAllowed() noexcept;
  static CharacterSet urlPasswordAllowed() noexcept;
  static CharacterSet urlHostAllowed() noexcept;
  static CharacterSet urlPathAllowed() noexcept;
  static CharacterSet urlQueryAllowed() noexcept;
  static CharacterSet urlFragmentAllowed() noexcept;

  bool contains(unsigned char c) const noexcept { return c < 128 && (bits_[c >> 6] >> (c & 63) & 1); }
  CharacterSet unioned(const CharacterSet& other) const noexcept;
  CharacterSet subtracting(const CharacterSet& other) const noexcept;
  CharacterSet subtracting(std::string_view ascii) const noexcept { return subtracting(characters(ascii)); }

  friend constexpr bool operator==(const CharacterSet&, const CharacterSet&) noexcept = default;

 private:
  std::uint64_t bits_[2]{};
};

// Encodes every byte outside `allowed` as "%XX" (upper-case hex). Nothing when
// the text is not valid UTF-8.
std::optional<std::string> addingPercentEncoding(std::string_view text, const CharacterSet& allowed);
// The same appended to `out`; false (and `out` unchanged) when the text is not
// valid UTF-8.
bool appendPercentEncoded(std::string& out, std::string_view text, const CharacterSet& allowed);

// Decodes "%XX" escapes. Nothing when an escape is malformed or the result is
// not valid UTF-8. A "+" stays a "+".
std::optional<std::string> removingPercentEncoding(std::string_view text);

}  // namespace velmoria::base
