#include "base/UUID.hpp"

#include "base/HexDigit.hpp"
#include "base/SecureRandom.hpp"

namespace velmoria::base {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Offsets of the hyphens in the 36-character form.
constexpr bool isHyphenPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

UUID UUID::random() {
  Bytes bytes;
  fillSecureRandom(bytes);
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return UUID(bytes);
}

std::optional<UUID> UUID::fromString(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  Bytes bytes{};
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (isHyphenPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int high = hexDigitValue(text[i]);
    const int low = hexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[out++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  return UUID(bytes);
}

std::string UUID::uuidString() const {
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kHexDigits[bytes_[i] >> 4]);
    text.push_back(kHexDigits[bytes_[i] & 0x0F]);
  }
  return text;
}

}  // namespace velmoria::base

std::size_t std::hash<velmoria::base::UUID>::operator()(const velmoria::base::UUID& uuid) const noexcept {
  const auto& b = uuid.bytes();
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}
