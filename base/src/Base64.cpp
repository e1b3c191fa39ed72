#include "base/Base64.hpp"

#include <array>
#include <cstdint>

namespace velmoria::base {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeReverse() {
  std::array<std::int8_t, 256> table{};
  for (auto& entry : table) entry = -1;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}
constexpr auto kReverse = makeReverse();

}  // namespace

std::string base64Encode(const Data& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const std::uint32_t chunk = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kAlphabet[(chunk >> 18) & 63];
    out += kAlphabet[(chunk >> 12) & 63];
    out += kAlphabet[(chunk >> 6) & 63];
    out += kAlphabet[chunk & 63];
  }
  if (const std::size_t rest = data.size() - i; rest > 0) {
    const std::uint32_t chunk = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
    out += kAlphabet[(chunk >> 18) & 63];
    out += kAlphabet[(chunk >> 12) & 63];
    out += rest == 2 ? kAlphabet[(chunk >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<Data> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  Data out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int padding = 0;
    std::uint32_t chunk = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      if (c == '=') {
        // Padding only at the end, only in the last two places.
        if (!last || j < 2) return std::nullopt;
        ++padding;
        chunk <<= 6;
        continue;
      }
      if (padding > 0) return std::nullopt;
      const std::int8_t value = kReverse[static_cast<unsigned char>(c)];
      if (value < 0) return std::nullopt;
      chunk = (chunk << 6) | static_cast<std::uint32_t>(value);
    }
    out.push_back(static_cast<std::uint8_t>(chunk >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(chunk >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(chunk));
  }
  return out;
}

}  // namespace velmoria::base
