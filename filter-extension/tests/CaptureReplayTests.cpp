#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "CaptureWriter.hpp"
#include "ClientHelloBuilder.hpp"
#include "TestData.hpp"
#include "velmoria_filter/CaptureReplay.hpp"
#include "velmoria_filter/testing/RecordingLog.hpp"

namespace velmoria::filter {
namespace {

using testing::CaptureWriter;
using testing::Endpoint4;
using testing::Frame;
using namespace testing::tcpflag;

constexpr int linkTypeEthernet = 1;

// Captures and configurations written by the tests; removed when the test program ends.
struct ScratchFolder {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("velmoria-replay-" + std::to_string(::getpid()));
  ScratchFolder() { std::filesystem::create_directories(path); }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

const std::filesystem::path& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path;
}

std::span<const std::uint8_t> slice(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t length) {
  return std::span<const std::uint8_t>(bytes).subspan(from, length);
}

// A capture of six connections from one client: a blocked hello split over three segments sent out
// of order with a retransmission, an allowed hello, a blocked hello to port 8443, QUIC, a connection
// whose start was not captured, and a hello whose name lies beyond the peek size.
std::filesystem::path writeMixedCapture() {
  const auto file = scratchFolder() / "mixed.pcap";
  CaptureWriter capture(file, linkTypeEthernet);
  const auto write = [&](const Frame& ip) { capture.write(testing::ethernet(ip)); };
  const Endpoint4 server{{93, 184, 216, 34}, 443};

  const Endpoint4 clientA{{10, 0, 0, 2}, 50000};
  const auto blocked = testing::readTestData("hello-chromium.bin");
  write(testing::tcpSegment(clientA, server, 1000, syn));
  write(testing::tcpSegment(server, clientA, 7000, syn | ack));
  write(testing::tcpSegment(clientA, server, 1001 + 600, ack | psh, slice(blocked, 600, 700)));
  write(testing::tcpSegment(clientA, server, 1001, ack, slice(blocked, 0, 600)));
  write(testing::tcpSegment(clientA, server, 1001, ack, slice(blocked, 0, 600)));
  write(testing::tcpSegment(clientA, server, 1001 + 1300, ack | psh, slice(blocked, 1300, blocked.size() - 1300)));
  write(testing::tcpSegment(server, clientA, 7001, ack | psh, slice(blocked, 0, 100)));

  const Endpoint4 clientB{{10, 0, 0, 2}, 50001};
  const auto allowed = testing::readTestData("hello-openssl-tls12.bin");
  write(testing::tcpSegment(clientB, server, 5, syn));
  write(testing::tcpSegment(clientB, server, 6, ack | psh, allowed));
  write(testing::tcpSegment(clientB, server, 6 + static_cast<std::uint32_t>(allowed.size()), fin | ack));

  const Endpoint4 clientC{{10, 0, 0, 2}, 50002};
  write(testing::tcpSegment(clientC, {{93, 184, 216, 34}, 8443}, 1, syn));
  write(testing::tcpSegment(clientC, {{93, 184, 216, 34}, 8443}, 2, ack | psh, blocked));

  const std::vector<std::uint8_t> quic(1200, 0xC3);
  write(testing::udpDatagram({{10, 0, 0, 2}, 50003}, server, quic));
  write(testing::udpDatagram({{10, 0, 0, 2}, 50003}, server, quic));
  write(testing::udpDatagram(server, {{10, 0, 0, 2}, 50003}, quic));

  const Endpoint4 clientE{{10, 0, 0, 3}, 40000};
  const auto midstream = testing::ClientHelloBuilder{}.serverName("api.streaming.example").build();
  write(testing::tcpSegment(clientE, server, 424242, ack | psh, midstream));

  const Endpoint4 clientF{{10, 0, 0, 3}, 40001};
  const auto late = testing::ClientHelloBuilder{}
                        .extension(21, std::vector<std::uint8_t>(9000, 0))
                        .serverName("late.blocked.example")
                        .build();
  write(testing::tcpSegment(clientF, server, 0, syn));
  for (std::size_t at = 0; at < late.size(); at += 1400) {
    write(testing::tcpSegment(clientF, server, 1 + static_cast<std::uint32_t>(at), ack,
                              slice(late, at, std::min<std::size_t>(1400, late.size() - at))));
  }
  capture.close();
  return file;
}

const std::vector<std::string> expectedMixedLines{
    "drop tcp 93.184.216.34:443 www.shop.blocked.example",
    "allow tcp 93.184.216.34:443 news.allowed.example",
    "allow tcp 93.184.216.34:8443 -",
    "drop udp 93.184.216.34:443 -",
    "drop tcp 93.184.216.34:443 api.streaming.example",
    "allow tcp 93.184.216.34:443 -",
};

std::filesystem::path writeConfiguration(const std::vector<std::string>& domains) {
  const auto file = scratchFolder() / "network-extension.json";
  const nlohmann::json preferences{{"filterConfiguration",
                                    {{"enabled", true},
                                     {"localizedDescription", "velmoria Web Filter"},
                                     {"providerConfiguration",
                                      {{"filterSockets", true},
                                       {"filterPackets", false},
                                       {"vendorConfiguration", {{"mac.blockedDomains", domains}}}}}}}};
  std::ofstream(file) << preferences.dump();
  return file;
}

class CaptureReplayTest : public ::testing::Test {
 protected:
  std::shared_ptr<testing::RecordingLog> log = std::make_shared<testing::RecordingLog>();
  WebFilterProvider provider{log};

  void SetUp() override {
    provider.startFilter(
        ProviderConfiguration{nlohmann::json{{"mac.blockedDomains", {"blocked.example", "streaming.example"}}}}, {});
  }
};

TEST_F(CaptureReplayTest, JudgesEachOutboundFlowOnItsAssembledFirstBytes) {
  const auto result = replayCapture(writeMixedCapture(), provider);
  EXPECT_EQ(result.readError, std::nullopt);
  std::vector<std::string> lines;
  for (const auto& flow : result.flows) lines.push_back(formatReplayLine(flow));
  EXPECT_EQ(lines, expectedMixedLines);
  // The hello whose name lies past 8192 bytes was peeked at but yields no name.
  EXPECT_TRUE(result.flows.back().inspected);

  const auto messages = log->messages();
  EXPECT_NE(std::find(messages.begin(), messages.end(), "blocked www.shop.blocked.example"), messages.end());
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "drop UDP/443 (QUIC) \xE2\x86\x92 TCP-Fallback erzwingen"), 1);
}

// Recorded with libpcap on the loopback interface: curl to two names, openssl s_client to a third
// (written in mixed case), and one QUIC-sized datagram, all to a local TLS server on port 443.
TEST_F(CaptureReplayTest, ReplaysALoopbackCaptureOfRealClients) {
  const auto result = replayCapture(testing::testDataFolder() / "loopback-curl-openssl-quic.pcap", provider);
  EXPECT_EQ(result.readError, std::nullopt);
  std::vector<std::string> lines;
  for (const auto& flow : result.flows) lines.push_back(formatReplayLine(flow));
  EXPECT_EQ(lines,
            (std::vector<std::string>{"drop tcp 127.0.0.1:443 www.shop.blocked.example",
                                      "allow tcp 127.0.0.1:443 news.allowed.example",
                                      "drop tcp 127.0.0.1:443 video.streaming.example", "drop udp 127.0.0.1:443 -"}));
}

TEST_F(CaptureReplayTest, AReusedPortStartsANewFlow) {
  const auto file = scratchFolder() / "reuse.pcap";
  CaptureWriter capture(file, linkTypeEthernet);
  const Endpoint4 client{{192, 168, 1, 5}, 60000};
  const Endpoint4 server{{1, 2, 3, 4}, 443};
  const auto first = testing::ClientHelloBuilder{}.serverName("one.blocked.example").build();
  const auto second = testing::ClientHelloBuilder{}.serverName("two.allowed.example").build();
  capture.write(testing::ethernet(testing::tcpSegment(client, server, 100, syn)));
  capture.write(testing::ethernet(testing::tcpSegment(client, server, 101, ack, first)));
  capture.write(testing::ethernet(testing::tcpSegment(client, server, 9000, syn)));
  capture.write(testing::ethernet(testing::tcpSegment(client, server, 9001, ack, second)));
  capture.close();
  const auto result = replayCapture(file, provider);
  ASSERT_EQ(result.flows.size(), 2u);
  EXPECT_EQ(formatReplayLine(result.flows[0]), "drop tcp 1.2.3.4:443 one.blocked.example");
  EXPECT_EQ(formatReplayLine(result.flows[1]), "allow tcp 1.2.3.4:443 two.allowed.example");
}

TEST_F(CaptureReplayTest, BrokenCapturesGiveAnErrorAndKeepWhatWasRead) {
  const auto notACapture = scratchFolder() / "not-a-capture.pcap";
  std::ofstream(notACapture) << "this is not a packet capture at all";
  EXPECT_THROW(replayCapture(notACapture, provider), CaptureError);
  EXPECT_THROW(replayCapture(scratchFolder() / "missing.pcap", provider), CaptureError);

  const auto full = writeMixedCapture();
  const auto cut = scratchFolder() / "cut.pcap";
  std::filesystem::copy_file(full, cut, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::resize_file(cut, std::filesystem::file_size(full) - 700);
  const auto result = replayCapture(cut, provider);
  EXPECT_NE(result.readError, std::nullopt);
  EXPECT_EQ(formatReplayLine(result.flows.front()), expectedMixedLines.front());
}

TEST(ReplayLineTest, EscapesNamesOutsidePrintableAscii) {
  ReplayedFlow flow;
  flow.destination.version = 6;
  flow.destination.bytes = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  flow.destinationPort = 443;
  flow.serverName = "a b\n\xC3\xBC\\";
  EXPECT_EQ(formatReplayLine(flow), "allow tcp [2001:db8::1]:443 a\\x20b\\x0a\\xc3\\xbc\\x5c");
  flow.serverName = "";
  flow.verdict = DataVerdict::drop;
  EXPECT_EQ(formatReplayLine(flow), "drop tcp [2001:db8::1]:443 \"\"");
}

std::string runFilter(const std::string& arguments, int& status) {
  const char* executable = std::getenv("VELMORIA_FILTER_EXECUTABLE");
  const std::string command =
      std::string(executable != nullptr ? executable : FILTER_EXECUTABLE_FALLBACK) + " " + arguments + " 2>/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  std::array<char, 4096> buffer{};
  std::size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), read);
  status = WEXITSTATUS(::pclose(pipe));
  return output;
}

TEST(FilterExecutableTest, ReplaysACaptureWithTheAppsConfiguration) {
  const auto capture = writeMixedCapture();
  const auto config = writeConfiguration({"blocked.example", "streaming.example"});
  int status = -1;
  const auto output = runFilter("--replay " + capture.string() + " --config " + config.string(), status);
  EXPECT_EQ(status, 0);
  std::string expected;
  for (const auto& line : expectedMixedLines) expected += line + "\n";
  EXPECT_EQ(output, expected);

  EXPECT_EQ(
      runFilter("--replay " + (scratchFolder() / "missing.pcap").string() + " --config " + config.string(), status),
      "");
  EXPECT_EQ(status, 2);
  runFilter("--bogus", status);
  EXPECT_EQ(status, 64);
}

}  // namespace
}  // namespace velmoria::filter
