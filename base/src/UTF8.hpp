#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmoria::base::detail {

struct DecodedScalar {
  char32_t scalar;     // kInvalidScalar for an ill-formed subpart
  std::size_t length;  // bytes consumed, at least 1
};

inline constexpr char32_t kInvalidScalar = 0xFFFFFFFF;

// Decodes one scalar at `pos` (which must be < bytes.size()). An ill-formed
// sequence consumes its maximal subpart, so repair by U+FFFD follows the
// Unicode-recommended practice.
inline DecodedScalar decodeScalar(std::string_view bytes, std::size_t pos) noexcept {
  const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = at(pos);
  if (lead < 0x80) return {lead, 1};

  std::size_t need = 0;
  char32_t value = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {kInvalidScalar, 1};
  }

  std::size_t length = 1;
  for (std::size_t k = 0; k < need; ++k) {
    const std::size_t i = pos + length;
    if (i >= bytes.size()) return {kInvalidScalar, length};
    const std::uint8_t b = at(i);
    const std::uint8_t lo = k == 0 ? low : 0x80;
    const std::uint8_t hi = k == 0 ? high : 0xBF;
    if (b < lo || b > hi) return {kInvalidScalar, length};
    value = value << 6 | (b & 0x3F);
    ++length;
  }
  return {value, length};
}

inline void appendUTF8(std::string& out, char32_t scalar) {
  if (scalar < 0x80) {
    out.push_back(static_cast<char>(scalar));
  } else if (scalar < 0x800) {
    out.push_back(static_cast<char>(0xC0 | scalar >> 6));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  } else if (scalar < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | scalar >> 12));
    out.push_back(static_cast<char>(0x80 | (scalar >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | scalar >> 18));
    out.push_back(static_cast<char>(0x80 | (scalar >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (scalar >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  }
}

}  // namespace velmoria::base::detail
