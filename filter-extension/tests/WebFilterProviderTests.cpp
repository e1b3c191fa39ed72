#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "ClientHelloBuilder.hpp"
#include "TestData.hpp"
#include "velmoria_filter/WebFilterProvider.hpp"
#include "velmoria_filter/testing/RecordingLog.hpp"

namespace velmoria::filter {
namespace {

using testing::ClientHelloBuilder;

const NewFlowVerdict peekVerdict = NewFlowVerdict::filterData(false, 0, true, 8192);
const std::string quicDropLine = "drop UDP/443 (QUIC) \xE2\x86\x92 TCP-Fallback erzwingen";

FilterFlow socketFlow(int protocol, std::string port, std::string host = "93.184.216.34") {
  FilterFlow flow;
  flow.socketProtocol = protocol;
  flow.remoteEndpoint = HostEndpoint{std::move(host), std::move(port)};
  return flow;
}

ProviderConfiguration configurationWith(nlohmann::json vendor) { return ProviderConfiguration{std::move(vendor)}; }

ProviderConfiguration listing(const std::vector<std::string>& domains) {
  return configurationWith({{"mac.blockedDomains", domains}});
}

class WebFilterProviderTest : public ::testing::Test {
 protected:
  std::shared_ptr<testing::RecordingLog> log = std::make_shared<testing::RecordingLog>();
  WebFilterProvider provider{log};

  void start(const std::optional<ProviderConfiguration>& configuration) {
    bool completed = false;
    provider.startFilter(configuration, [&](std::optional<std::string> error) {
      EXPECT_EQ(error, std::nullopt);
      completed = true;
    });
    EXPECT_TRUE(completed);
  }

  DataVerdict judge(const std::string& serverName) {
    const auto flow = socketFlow(protocolTcp, "443");
    EXPECT_EQ(provider.handleNewFlow(flow), peekVerdict);
    return provider.handleOutboundData(flow, 0, ClientHelloBuilder{}.serverName(serverName).build());
  }
};

TEST_F(WebFilterProviderTest, StartTakesTheListAndLogsItsSize) {
  start(listing({"a.com", "b.com", "a.com"}));
  EXPECT_EQ(provider.blocklist(), (std::set<std::string>{"a.com", "b.com"}));
  EXPECT_EQ(log->messages(), std::vector<std::string>{"startFilter blocklistCount=2"});
  EXPECT_EQ(log->records().front().first, LogLevel::standard);
}

TEST_F(WebFilterProviderTest, StartKeepsTheListWhenTheConfigurationHasNoValidOne) {
  start(listing({"kept.com"}));
  for (const auto& bad : std::vector<std::optional<ProviderConfiguration>>{
           std::nullopt, ProviderConfiguration{}, configurationWith(nlohmann::json::array({"x"})),
           configurationWith({{"other", {"x.com"}}}), configurationWith({{"mac.blockedDomains", "x.com"}}),
           configurationWith({{"mac.blockedDomains", {"x.com", 3}}})}) {
    start(bad);
    EXPECT_EQ(provider.blocklist(), std::set<std::string>{"kept.com"});
  }
  start(listing({}));
  EXPECT_TRUE(provider.blocklist().empty());
}

TEST_F(WebFilterProviderTest, EmptyListAllowsEveryFlowAtOnce) {
  start(listing({}));
  EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolTcp, "443")), NewFlowVerdict::allow());
  EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolUdp, "443")), NewFlowVerdict::allow());
  EXPECT_EQ(log->messages().size(), 1u);
}

TEST_F(WebFilterProviderTest, OnlyPort443IsLookedAt) {
  start(listing({"a.com"}));
  for (const auto* port : {"8443", "x443", "443x", "", "+", "44 3", "0443x", "99999999999999999999999", "-443"}) {
    EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolTcp, port)), NewFlowVerdict::allow()) << port;
    EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolUdp, port)), NewFlowVerdict::allow()) << port;
  }
  EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolTcp, "+443")), peekVerdict);
  EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolTcp, "00443")), peekVerdict);
}

TEST_F(WebFilterProviderTest, FlowsWithoutAHostEndpointAreAllowed) {
  start(listing({"a.com"}));
  FilterFlow noEndpoint;
  noEndpoint.socketProtocol = protocolTcp;
  EXPECT_EQ(provider.handleNewFlow(noEndpoint), NewFlowVerdict::allow());

  auto service = noEndpoint;
  service.remoteEndpoint = OtherEndpoint{"printer._ipp._tcp.local"};
  EXPECT_EQ(provider.handleNewFlow(service), NewFlowVerdict::allow());

  auto browser = socketFlow(protocolTcp, "443");
  browser.kind = FilterFlow::Kind::browser;
  EXPECT_EQ(provider.handleNewFlow(browser), NewFlowVerdict::allow());

  EXPECT_EQ(provider.handleNewFlow(socketFlow(1, "443")), NewFlowVerdict::allow());  // ICMP
}

TEST_F(WebFilterProviderTest, UdpTo443IsDroppedWithOneLogLinePerFlow) {
  start(listing({"a.com"}));
  EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolUdp, "443")), NewFlowVerdict::drop());
  EXPECT_EQ(provider.handleNewFlow(socketFlow(protocolUdp, "443", "2001:db8::1")), NewFlowVerdict::drop());
  const auto messages = log->messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1], quicDropLine);
  EXPECT_EQ(messages[2], quicDropLine);
}

TEST_F(WebFilterProviderTest, DropsBlockedNamesAndLogsThemAsRead) {
  start(listing({"example.com"}));
  EXPECT_EQ(judge("WWW.EXAMPLE.COM."), DataVerdict::drop);
  EXPECT_EQ(log->messages().back(), "blocked www.example.com.");
  EXPECT_EQ(judge("cdn.example.com"), DataVerdict::drop);
  EXPECT_EQ(judge("badexample.com"), DataVerdict::allow);
  EXPECT_EQ(judge(""), DataVerdict::allow);
  EXPECT_EQ(log->messages().size(), 3u);
}

TEST_F(WebFilterProviderTest, BytesWithoutANameAreAllowed) {
  start(listing({"example.com"}));
  const auto flow = socketFlow(protocolTcp, "443");
  const std::vector<std::uint8_t> http{'G', 'E', 'T', ' ', '/'};
  EXPECT_EQ(provider.handleOutboundData(flow, 0, http), DataVerdict::allow);
  EXPECT_EQ(provider.handleOutboundData(flow, 0, {}), DataVerdict::allow);
  const auto hello = ClientHelloBuilder{}.serverName("example.com").build();
  EXPECT_EQ(provider.handleOutboundData(flow, 0, std::span(hello).first(hello.size() - 2)), DataVerdict::allow);
}

// Restarts replace the list while other threads judge flows; each verdict must come from one whole
// list (run under the thread sanitizer to see the publication is race-free).
TEST_F(WebFilterProviderTest, RestartWhileFlowsAreJudgedOnOtherThreads) {
  start(listing({"a.example"}));
  const auto helloA = ClientHelloBuilder{}.serverName("x.a.example").build();
  const auto helloB = ClientHelloBuilder{}.serverName("x.b.example").build();
  const auto flow = socketFlow(protocolTcp, "443");
  std::atomic<bool> stop{false};
  std::atomic<int> inconsistent{0};
  std::vector<std::thread> judges;
  for (int t = 0; t < 4; ++t) {
    judges.emplace_back([&] {
      while (!stop.load()) {
        provider.handleOutboundData(flow, 0, helloA);
        provider.handleOutboundData(flow, 0, helloB);
        // Lists alternate between {a} and {b}: a reader never sees a half-built one.
        if (provider.blocklist().size() != 1) ++inconsistent;
      }
    });
  }
  for (int i = 0; i < 2000; ++i) start(listing({i % 2 == 0 ? "b.example" : "a.example"}));
  stop = true;
  for (auto& judge : judges) judge.join();
  EXPECT_EQ(inconsistent.load(), 0);
}

}  // namespace
}  // namespace velmoria::filter
