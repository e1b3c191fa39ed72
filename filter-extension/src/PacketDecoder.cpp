#include "velmoria_filter/PacketDecoder.hpp"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace velmoria::filter {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint16_t etherTypeIpv4 = 0x0800;
constexpr std::uint16_t etherTypeIpv6 = 0x86DD;
constexpr std::uint16_t etherTypeVlan = 0x8100;
constexpr std::uint16_t etherTypeQinQ = 0x88A8;

std::uint16_t u16(Bytes b, std::size_t at) { return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]); }
std::uint32_t u32(Bytes b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 24) | (static_cast<std::uint32_t>(b[at + 1]) << 16) |
         (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}

std::optional<DecodedPacket> decodeTransport(int protocol, Bytes segment, DecodedPacket packet) {
  packet.protocol = protocol;
  if (protocol == 6) {
    if (segment.size() < 20) return std::nullopt;
    const std::size_t headerLength = static_cast<std::size_t>(segment[12] >> 4) * 4;
    if (headerLength < 20 || headerLength > segment.size()) return std::nullopt;
    packet.sourcePort = u16(segment, 0);
    packet.destinationPort = u16(segment, 2);
    packet.sequence = u32(segment, 4);
    const auto flags = segment[13];
    packet.fin = (flags & 0x01) != 0;
    packet.syn = (flags & 0x02) != 0;
    packet.rst = (flags & 0x04) != 0;
    packet.ack = (flags & 0x10) != 0;
    packet.payload = segment.subspan(headerLength);
    return packet;
  }
  if (protocol == 17) {
    if (segment.size() < 8) return std::nullopt;
    packet.sourcePort = u16(segment, 0);
    packet.destinationPort = u16(segment, 2);
    const std::size_t length = u16(segment, 4);
    const auto end = length >= 8 ? std::min(length, segment.size()) : segment.size();
    packet.payload = segment.subspan(8, end - 8);
    return packet;
  }
  return std::nullopt;
}

std::optional<DecodedPacket> decodeIpv4(Bytes ip) {
  if (ip.size() < 20 || (ip[0] >> 4) != 4) return std::nullopt;
  const std::size_t headerLength = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
  if (headerLength < 20 || headerLength > ip.size()) return std::nullopt;
  const std::size_t totalLength = u16(ip, 2);
  if (totalLength >= headerLength && totalLength < ip.size()) ip = ip.first(totalLength);
  // Later fragments carry no transport header; the first fragment alone is read as it is.
  if ((u16(ip, 6) & 0x1FFF) != 0) return std::nullopt;
  DecodedPacket packet;
  packet.source.version = packet.destination.version = 4;
  std::copy_n(ip.begin() + 12, 4, packet.source.bytes.begin());
  std::copy_n(ip.begin() + 16, 4, packet.destination.bytes.begin());
  return decodeTransport(ip[9], ip.subspan(headerLength), packet);
}

std::optional<DecodedPacket> decodeIpv6(Bytes ip) {
  if (ip.size() < 40 || (ip[0] >> 4) != 6) return std::nullopt;
  const std::size_t payloadLength = u16(ip, 4);
  if (payloadLength > 0 && 40 + payloadLength < ip.size()) ip = ip.first(40 + payloadLength);
  DecodedPacket packet;
  packet.source.version = packet.destination.version = 6;
  std::copy_n(ip.begin() + 8, 16, packet.source.bytes.begin());
  std::copy_n(ip.begin() + 24, 16, packet.destination.bytes.begin());
  int next = ip[6];
  std::size_t at = 40;
  // Walk the extension headers that may sit before the transport header.
  for (int hops = 0; hops < 8; ++hops) {
    if (next == 0 || next == 43 || next == 60) {
      if (at + 2 > ip.size()) return std::nullopt;
      const int following = ip[at];
      at += (static_cast<std::size_t>(ip[at + 1]) + 1) * 8;
      next = following;
      continue;
    }
    if (next == 44) {
      if (at + 8 > ip.size()) return std::nullopt;
      if ((u16(ip, at + 2) & 0xFFF8) != 0) return std::nullopt;
      next = ip[at];
      at += 8;
      continue;
    }
    break;
  }
  if (at > ip.size()) return std::nullopt;
  return decodeTransport(next, ip.subspan(at), packet);
}

std::optional<DecodedPacket> decodeByEtherType(std::uint16_t type, Bytes rest) {
  if (type == etherTypeIpv4) return decodeIpv4(rest);
  if (type == etherTypeIpv6) return decodeIpv6(rest);
  return std::nullopt;
}

std::optional<DecodedPacket> decodeByVersion(Bytes ip) {
  if (ip.empty()) return std::nullopt;
  if ((ip[0] >> 4) == 4) return decodeIpv4(ip);
  if ((ip[0] >> 4) == 6) return decodeIpv6(ip);
  return std::nullopt;
}

// BSD loopback headers give the address family; IPv6 has several values across systems.
std::optional<DecodedPacket> decodeByFamily(std::uint32_t family, Bytes rest) {
  if (family == 2) return decodeIpv4(rest);
  if (family == 10 || family == 24 || family == 28 || family == 30) return decodeIpv6(rest);
  return std::nullopt;
}

}  // namespace

std::string IpAddress::text() const {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (inet_ntop(version == 6 ? AF_INET6 : AF_INET, bytes.data(), buffer, sizeof buffer) == nullptr) return "?";
  return version == 6 ? "[" + std::string(buffer) + "]" : std::string(buffer);
}

std::optional<DecodedPacket> decodePacket(int linkType, std::span<const std::uint8_t> frame) {
  switch (linkType) {
    case linktype::ethernet: {
      if (frame.size() < 14) return std::nullopt;
      std::size_t at = 12;
      auto type = u16(frame, at);
      while (type == etherTypeVlan || type == etherTypeQinQ) {
        at += 4;
        if (at + 2 > frame.size()) return std::nullopt;
        type = u16(frame, at);
      }
      return decodeByEtherType(type, frame.subspan(at + 2));
    }
    case linktype::null: {
      if (frame.size() < 4) return std::nullopt;
      std::uint32_t family = 0;
      std::memcpy(&family, frame.data(), 4);
      // Written in the capturing host's byte order: accept either.
      if (family > 0xFFFF) family = __builtin_bswap32(family);
      return decodeByFamily(family, frame.subspan(4));
    }
    case linktype::loop:
      if (frame.size() < 4) return std::nullopt;
      return decodeByFamily(u32(frame, 0), frame.subspan(4));
    case linktype::raw:
    case linktype::rawAlternative:
      return decodeByVersion(frame);
    case linktype::ipv4:
      return decodeIpv4(frame);
    case linktype::ipv6:
      return decodeIpv6(frame);
    case linktype::linuxCooked:
      if (frame.size() < 16) return std::nullopt;
      return decodeByEtherType(u16(frame, 14), frame.subspan(16));
    case linktype::linuxCooked2:
      if (frame.size() < 20) return std::nullopt;
      return decodeByEtherType(u16(frame, 0), frame.subspan(20));
    default:
      return std::nullopt;
  }
}

}  // namespace velmoria::filter
