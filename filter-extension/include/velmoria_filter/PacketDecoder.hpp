#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace velmoria::filter {

struct IpAddress {
  int version = 4;  // 4 or 6
  std::array<std::uint8_t, 16> bytes{};

  std::string text() const;
  auto operator<=>(const IpAddress&) const = default;
};

// One TCP or UDP packet of a capture, its payload pointing into the frame.
struct DecodedPacket {
  int protocol = 0;  // 6 TCP, 17 UDP
  IpAddress source;
  IpAddress destination;
  std::uint16_t sourcePort = 0;
  std::uint16_t destinationPort = 0;
  std::uint32_t sequence = 0;  // TCP only
  bool syn = false;
  bool ack = false;
  bool fin = false;
  bool rst = false;
  std::span<const std::uint8_t> payload;
};

}  // namespace velmoria::filter

// Link types, in libpcap's numbering, that the decoder reads.
namespace velmoria::filter::linktype {
constexpr int null = 0;
constexpr int ethernet = 1;
constexpr int raw = 12;
constexpr int rawAlternative = 101;
constexpr int loop = 108;
constexpr int linuxCooked = 113;
constexpr int ipv4 = 228;
constexpr int ipv6 = 229;
constexpr int linuxCooked2 = 276;
}  // namespace velmoria::filter::linktype

namespace velmoria::filter {

// TCP and UDP over IPv4 or IPv6 in a captured frame; nothing for other packets, later fragments and
// frames too short for their headers.
std::optional<DecodedPacket> decodePacket(int linkType, std::span<const std::uint8_t> frame);

}  // namespace velmoria::filter
