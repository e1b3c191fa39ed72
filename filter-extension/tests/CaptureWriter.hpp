#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

// Writes small packet captures (classic pcap format) of made-up TCP and UDP traffic.
namespace velmoria::filter::testing {

using Frame = std::vector<std::uint8_t>;

struct Endpoint4 {
  std::array<std::uint8_t, 4> address;
  std::uint16_t port;
};

inline void put16(Frame& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}
inline void put32(Frame& out, std::uint32_t value) {
  put16(out, static_cast<std::uint16_t>(value >> 16));
  put16(out, static_cast<std::uint16_t>(value));
}

}  // namespace velmoria::filter::testing

namespace velmoria::filter::testing::tcpflag {
constexpr std::uint8_t fin = 0x01, syn = 0x02, rst = 0x04, psh = 0x08, ack = 0x10;
}  // namespace velmoria::filter::testing::tcpflag

namespace velmoria::filter::testing {

inline Frame ipv4Packet(std::uint8_t protocol, const Endpoint4& from, const Endpoint4& to, const Frame& transport) {
  Frame ip{0x45, 0};
  put16(ip, static_cast<std::uint16_t>(20 + transport.size()));
  put16(ip, 0x1234);
  put16(ip, 0x4000);  // don't fragment
  ip.push_back(64);
  ip.push_back(protocol);
  put16(ip, 0);
  ip.insert(ip.end(), from.address.begin(), from.address.end());
  ip.insert(ip.end(), to.address.begin(), to.address.end());
  ip.insert(ip.end(), transport.begin(), transport.end());
  return ip;
}

inline Frame tcpSegment(const Endpoint4& from, const Endpoint4& to, std::uint32_t sequence, std::uint8_t flags,
                        std::span<const std::uint8_t> payload = {}) {
  Frame tcp;
  put16(tcp, from.port);
  put16(tcp, to.port);
  put32(tcp, sequence);
  put32(tcp, (flags & tcpflag::ack) ? 1 : 0);
  tcp.push_back(0x50);
  tcp.push_back(flags);
  put16(tcp, 65535);
  put16(tcp, 0);
  put16(tcp, 0);
  tcp.insert(tcp.end(), payload.begin(), payload.end());
  return ipv4Packet(6, from, to, tcp);
}

inline Frame udpDatagram(const Endpoint4& from, const Endpoint4& to, std::span<const std::uint8_t> payload) {
  Frame udp;
  put16(udp, from.port);
  put16(udp, to.port);
  put16(udp, static_cast<std::uint16_t>(8 + payload.size()));
  put16(udp, 0);
  udp.insert(udp.end(), payload.begin(), payload.end());
  return ipv4Packet(17, from, to, udp);
}

inline Frame ethernet(const Frame& ip, std::uint16_t etherType = 0x0800) {
  Frame frame{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 2};
  put16(frame, etherType);
  frame.insert(frame.end(), ip.begin(), ip.end());
  return frame;
}

class CaptureWriter {
 public:
  CaptureWriter(const std::filesystem::path& file, std::uint32_t linkType) : out_(file, std::ios::binary) {
    const std::uint32_t header[] = {0xA1B2C3D4, 0x00040002, 0, 0, 65535, linkType};
    // Host byte order throughout; 0x00040002 lays out as version 2.4 on a little-endian host.
    out_.write(reinterpret_cast<const char*>(header), sizeof header);
  }

  void write(const Frame& frame) { write(frame, static_cast<std::uint32_t>(frame.size())); }

  // A record whose original length differs from what was captured (a snap length cut).
  void write(const Frame& frame, std::uint32_t originalLength) {
    const std::uint32_t record[] = {seconds_++, 0, static_cast<std::uint32_t>(frame.size()), originalLength};
    out_.write(reinterpret_cast<const char*>(record), sizeof record);
    out_.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
  }

  void close() { out_.close(); }

 private:
  std::ofstream out_;
  std::uint32_t seconds_ = 1700000000;
};

}  // namespace velmoria::filter::testing
