#include "velmoria_filter/ServerNameReader.hpp"

#include <algorithm>
#include <cstddef>

#include "velmoria_filter/Text.hpp"

namespace velmoria::filter {
namespace {

constexpr std::uint8_t recordTypeHandshake = 22;
constexpr std::uint8_t handshakeTypeClientHello = 1;
constexpr std::uint16_t extensionServerName = 0;
constexpr std::uint8_t nameTypeHostName = 0;

// Offsets inside the hello before the variable-length fields: record header (5), handshake type and
// length (4), client version (2), random (32), then the session-id length byte at 43.
constexpr std::size_t sessionIdLengthOffset = 43;

std::size_t readU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (static_cast<std::size_t>(bytes[at]) << 8) | bytes[at + 1];
}

}  // namespace

std::optional<std::string> extractServerName(std::span<const std::uint8_t> bytes) {
  const std::size_t n = bytes.size();
  if (n < 5 || bytes[0] != recordTypeHandshake) return std::nullopt;
  if (n < 9 || bytes[5] != handshakeTypeClientHello) return std::nullopt;
  if (n < sessionIdLengthOffset + 1) return std::nullopt;

  const std::size_t sessionIdLength = bytes[sessionIdLengthOffset];
  const std::size_t cipherSuitesAt = sessionIdLength + 44;
  if (n < cipherSuitesAt + 2) return std::nullopt;
  const std::size_t compressionAt = cipherSuitesAt + 2 + readU16(bytes, cipherSuitesAt);

  if (n <= compressionAt) return std::nullopt;
  const std::size_t extensionsAt = compressionAt + 1 + bytes[compressionAt];

  if (n < extensionsAt + 2) return std::nullopt;
  const std::size_t extensionsLimit = std::min(n, extensionsAt + 2 + readU16(bytes, extensionsAt));

  std::size_t p = extensionsAt + 2;
  std::size_t bodyBegin = 0;
  std::size_t bodyEnd = 0;
  for (;;) {
    if (p + 4 > extensionsLimit) return std::nullopt;
    const std::size_t type = readU16(bytes, p);
    const std::size_t next = p + 4 + readU16(bytes, p + 2);
    if (next > extensionsLimit) return std::nullopt;
    if (type == extensionServerName) {
      bodyBegin = p + 4;
      bodyEnd = next;
      break;
    }
    p = next;
  }

  if (bodyBegin + 2 > bodyEnd) return std::nullopt;
  const std::size_t listLimit = std::min(bodyBegin + 2 + readU16(bytes, bodyBegin), bodyEnd);
  std::size_t q = bodyBegin + 2;
  for (;;) {
    if (q + 3 > listLimit) return std::nullopt;
    const std::uint8_t nameType = bytes[q];
    const std::size_t next = q + 3 + readU16(bytes, q + 1);
    if (next > listLimit) return std::nullopt;
    if (nameType == nameTypeHostName) {
      auto name = text::decodeUtf8(bytes.subspan(q + 3, next - (q + 3)));
      if (!name) return std::nullopt;
      if (text::isLowercase(*name)) return name;
      return text::lowercased(*name);
    }
    q = next;
  }
}

}  // namespace velmoria::filter
