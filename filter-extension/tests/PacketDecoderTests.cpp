#include <gtest/gtest.h>

#include "CaptureWriter.hpp"
#include "velmoria_filter/PacketDecoder.hpp"

namespace velmoria::filter {
namespace {

using testing::Frame;

const std::vector<std::uint8_t> payload{'h', 'i'};
const Frame ipv4 = testing::tcpSegment({{10, 0, 0, 1}, 1234}, {{10, 0, 0, 9}, 443}, 77, testing::tcpflag::syn, payload);

void expectTcpToServer(const std::optional<DecodedPacket>& packet) {
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(packet->protocol, 6);
  EXPECT_EQ(packet->source.text(), "10.0.0.1");
  EXPECT_EQ(packet->destination.text(), "10.0.0.9");
  EXPECT_EQ(packet->sourcePort, 1234);
  EXPECT_EQ(packet->destinationPort, 443);
  EXPECT_EQ(packet->sequence, 77u);
  EXPECT_TRUE(packet->syn);
  EXPECT_FALSE(packet->ack);
  EXPECT_EQ(std::vector<std::uint8_t>(packet->payload.begin(), packet->payload.end()), payload);
}

Frame prefixed(Frame head, const Frame& rest) {
  head.insert(head.end(), rest.begin(), rest.end());
  return head;
}

TEST(PacketDecoderTest, ReadsTheLinkLayersOfCommonCaptures) {
  expectTcpToServer(decodePacket(linktype::ethernet, testing::ethernet(ipv4)));
  expectTcpToServer(decodePacket(linktype::raw, ipv4));
  expectTcpToServer(decodePacket(linktype::ipv4, ipv4));
  expectTcpToServer(decodePacket(linktype::null, prefixed({2, 0, 0, 0}, ipv4)));
  expectTcpToServer(decodePacket(linktype::loop, prefixed({0, 0, 0, 2}, ipv4)));
  Frame cooked(14, 0);
  cooked.push_back(0x08);
  cooked.push_back(0x00);
  expectTcpToServer(decodePacket(linktype::linuxCooked, prefixed(cooked, ipv4)));
  Frame cooked2{0x08, 0x00};
  cooked2.resize(20, 0);
  expectTcpToServer(decodePacket(linktype::linuxCooked2, prefixed(cooked2, ipv4)));

  Frame vlan{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 2, 0x81, 0x00, 0x00, 0x05, 0x08, 0x00};
  expectTcpToServer(decodePacket(linktype::ethernet, prefixed(vlan, ipv4)));
}

TEST(PacketDecoderTest, ReadsIpv6WithExtensionHeaders) {
  Frame udp{0x30, 0x39, 0x01, 0xBB, 0x00, 0x0A, 0x00, 0x00, 'q', 'u'};
  Frame hopByHop{17, 0, 0, 0, 0, 0, 0, 0};
  Frame ip{0x60, 0, 0, 0};
  testing::put16(ip, static_cast<std::uint16_t>(hopByHop.size() + udp.size()));
  ip.push_back(0);  // hop-by-hop options first
  ip.push_back(64);
  for (int i = 0; i < 16; ++i) ip.push_back(i == 15 ? 1 : (i == 0 ? 0xFE : (i == 1 ? 0x80 : 0)));
  for (int i = 0; i < 16; ++i) ip.push_back(i == 15 ? 2 : (i == 0 ? 0x20 : (i == 1 ? 0x01 : 0)));
  ip.insert(ip.end(), hopByHop.begin(), hopByHop.end());
  ip.insert(ip.end(), udp.begin(), udp.end());
  const auto packet = decodePacket(linktype::ethernet, testing::ethernet(ip, 0x86DD));
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(packet->protocol, 17);
  EXPECT_EQ(packet->source.text(), "[fe80::1]");
  EXPECT_EQ(packet->destination.text(), "[2001::2]");
  EXPECT_EQ(packet->destinationPort, 443);
  EXPECT_EQ(packet->payload.size(), 2u);
}

TEST(PacketDecoderTest, SkipsWhatItCannotRead) {
  EXPECT_EQ(decodePacket(linktype::ethernet, {}), std::nullopt);
  EXPECT_EQ(decodePacket(linktype::ethernet, testing::ethernet(ipv4, 0x0806)), std::nullopt);  // ARP
  EXPECT_EQ(decodePacket(9999, ipv4), std::nullopt);
  for (std::size_t n = 0; n < 40; ++n) {
    EXPECT_EQ(decodePacket(linktype::raw, Frame(ipv4.begin(), ipv4.begin() + static_cast<std::ptrdiff_t>(n))),
              std::nullopt)
        << n;
  }
  auto laterFragment = ipv4;
  laterFragment[7] = 0x10;
  EXPECT_EQ(decodePacket(linktype::raw, laterFragment), std::nullopt);
  auto badHeaderLength = ipv4;
  badHeaderLength[20 + 12] = 0xF0;  // TCP header longer than the packet
  EXPECT_EQ(decodePacket(linktype::raw, badHeaderLength), std::nullopt);
  auto icmp = ipv4;
  icmp[9] = 1;
  EXPECT_EQ(decodePacket(linktype::raw, icmp), std::nullopt);
}

}  // namespace
}  // namespace velmoria::filter
