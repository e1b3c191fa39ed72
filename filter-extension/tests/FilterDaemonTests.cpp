#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "ClientHelloBuilder.hpp"
#include "velmoria_filter/FilterDaemon.hpp"
#include "velmoria_filter/testing/FakeEnforcement.hpp"
#include "velmoria_filter/testing/RecordingLog.hpp"

namespace velmoria::filter {
namespace {

TEST(FilterPreferencesTest, ReadsTheEnabledFlagAndVendorDictionary) {
  const auto stored =
      parseFilterPreferences(R"({"filterConfiguration": {"enabled": true, "localizedDescription": "velmoria Web Filter",
      "extra": 1, "providerConfiguration": {"filterSockets": true, "vendorConfiguration": {"mac.blockedDomains": ["a.com"]}}}})");
  ASSERT_TRUE(stored.has_value());
  EXPECT_TRUE(stored->enabled);
  ASSERT_TRUE(stored->providerConfiguration.has_value());
  EXPECT_EQ(stored->providerConfiguration->vendorConfiguration, (nlohmann::json{{"mac.blockedDomains", {"a.com"}}}));
}

TEST(FilterPreferencesTest, OddFilesCountAsNoConfiguration) {
  EXPECT_EQ(parseFilterPreferences("not json"), std::nullopt);
  EXPECT_EQ(parseFilterPreferences("[1]"), std::nullopt);
  EXPECT_EQ(parseFilterPreferences("{}"), StoredFilterConfiguration{});
  const auto noProvider = parseFilterPreferences(R"({"filterConfiguration": {"enabled": "yes"}})");
  ASSERT_TRUE(noProvider.has_value());
  EXPECT_FALSE(noProvider->enabled);
  EXPECT_FALSE(noProvider->providerConfiguration.has_value());
  EXPECT_EQ(readFilterPreferences("/nonexistent/velmoria/network-extension.json"), StoredFilterConfiguration{});
}

TEST(FilterPreferencesTest, ANulByteOrAFifoInPlaceOfTheFileGivesNoConfiguration) {
  using namespace std::string_literals;
  EXPECT_EQ(parseFilterPreferences(R"({"filterConfiguration": {"enabled": true}})"s + "\0garbage"s), std::nullopt);
  const auto folder = std::filesystem::temp_directory_path() / ("velmoria-filter-fifo-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto fifo = folder / "network-extension.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(readFilterPreferences(fifo), StoredFilterConfiguration{});
  std::filesystem::remove_all(folder);
}

class FilterDaemonTest : public ::testing::Test {
 protected:
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("velmoria-daemon-" + std::to_string(::getpid()));
  std::filesystem::path file = folder / "network-extension.json";
  std::shared_ptr<testing::RecordingLog> log = std::make_shared<testing::RecordingLog>();
  WebFilterProvider provider{log};
  testing::RecordingEnforcer enforcer;
  testing::QueuedPacketSource* source = nullptr;  // the one open now
  int sourcesOpened = 0;
  std::vector<std::pair<FlowDecision, std::chrono::system_clock::time_point>> enforced;
  FilterDaemon daemon{provider, file,
                      FilterDaemon::Enforcement{enforcer,
                                                [this] {
                                                  auto opened = std::make_unique<testing::QueuedPacketSource>();
                                                  source = opened.get();
                                                  ++sourcesOpened;
                                                  return opened;
                                                },
                                                log, nullptr,
                                                [this](const FlowDecision& decision, auto captured) {
                                                  enforced.emplace_back(decision, captured);
                                                }}};

  void SetUp() override { std::filesystem::create_directories(folder); }
  void TearDown() override { std::filesystem::remove_all(folder); }

  // Written the way the app writes it: a temporary file renamed over the old one.
  void save(bool enabled, const std::vector<std::string>& domains) {
    const nlohmann::json preferences{
        {"filterConfiguration",
         {{"enabled", enabled},
          {"providerConfiguration", {{"vendorConfiguration", {{"mac.blockedDomains", domains}}}}}}}};
    const auto temporary = folder / ".network-extension.json.tmp";
    std::ofstream(temporary) << preferences.dump();
    std::filesystem::rename(temporary, file);
  }

  // A connection from port `port` that sends a ClientHello naming `name`.
  void connect(std::uint16_t port, const std::string& name) {
    source->push(testing::outbound(protocolTcp, port, 443, 100, true));
    source->push(testing::outbound(protocolTcp, port, 443, 101),
                 testing::ClientHelloBuilder{}.serverName(name).build());
  }

  bool waitForMessages(std::size_t count) const {
    for (int i = 0; i < 300 && log->messages().size() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return log->messages().size() >= count;
  }
};

TEST_F(FilterDaemonTest, StartsRestartsAndStopsTheProviderAsTheConfigurationChanges) {
  daemon.reload();
  EXPECT_FALSE(daemon.isRunning());
  EXPECT_TRUE(log->messages().empty());

  save(true, {"a.com"});
  daemon.reload();
  EXPECT_TRUE(daemon.isRunning());
  EXPECT_EQ(provider.blocklist(), std::set<std::string>{"a.com"});

  // Saved again unchanged (every sync writes the file): nothing happens.
  save(true, {"a.com"});
  daemon.reload();
  // A site added while the configuration stays enabled reaches the provider at once, by a restart
  // that keeps the capture open.
  save(true, {"a.com", "b.com"});
  daemon.reload();
  EXPECT_EQ(provider.blocklist(), (std::set<std::string>{"a.com", "b.com"}));
  EXPECT_EQ(sourcesOpened, 1);

  save(false, {"b.com"});
  daemon.reload();
  EXPECT_FALSE(daemon.isRunning());
  save(true, {"b.com"});
  daemon.reload();
  EXPECT_EQ(provider.blocklist(), std::set<std::string>{"b.com"});
  EXPECT_EQ(sourcesOpened, 2);

  std::filesystem::remove(file);
  daemon.reload();
  EXPECT_FALSE(daemon.isRunning());
  EXPECT_EQ(log->messages(), (std::vector<std::string>{"startFilter blocklistCount=1", "stopFilter reason=0",
                                                       "startFilter blocklistCount=2", "stopFilter reason=9",
                                                       "startFilter blocklistCount=1", "stopFilter reason=10"}));
  EXPECT_EQ(enforcer.calls(), (std::vector<std::string>{"start", "stop", "start", "stop", "start", "stop"}));
}

TEST_F(FilterDaemonTest, EnforcesWhatTheProviderDropsAndLogsEachDrop) {
  save(true, {"blocked.example"});
  daemon.reload();
  connect(50000, "www.shop.blocked.example");
  connect(50001, "allowed.example");
  source->push(testing::outbound(protocolUdp, 50002, 443), std::vector<std::uint8_t>(1200, 0xC3));
  source->push(testing::outbound(protocolUdp, 50002, 443), std::vector<std::uint8_t>(1200, 0xC3));
  source->push(testing::outbound(protocolTcp, 50003, 8443, 5, true));
  daemon.readPackets();

  EXPECT_EQ(enforcer.calls(), (std::vector<std::string>{"start", "drop 10.0.0.2:50000 10.0.0.9:443",
                                                        "drop 10.0.0.2:50002 10.0.0.9:443"}));
  const auto messages = log->messages();
  EXPECT_EQ(std::vector<std::string>(messages.begin() + 1, messages.end()),
            (std::vector<std::string>{
                "blocked www.shop.blocked.example", "enforced drop tcp 10.0.0.9:443 www.shop.blocked.example",
                "drop UDP/443 (QUIC) \xE2\x86\x92 TCP-Fallback erzwingen", "enforced drop udp 10.0.0.9:443 -"}));
  ASSERT_EQ(enforced.size(), 2u);
  EXPECT_EQ(enforced[0].first.serverName, "www.shop.blocked.example");
}

TEST_F(FilterDaemonTest, AHelloSplitOverSegmentsIsJudgedOnceItsRecordIsComplete) {
  save(true, {"blocked.example"});
  daemon.reload();
  const auto hello = testing::ClientHelloBuilder{}.serverName("blocked.example").build();
  const std::vector<std::uint8_t> first(hello.begin(), hello.begin() + 40);
  const std::vector<std::uint8_t> rest(hello.begin() + 40, hello.end());
  source->push(testing::outbound(protocolTcp, 50000, 443, 100, true));
  source->push(testing::outbound(protocolTcp, 50000, 443, 101), first);
  daemon.readPackets();
  EXPECT_EQ(enforcer.calls().size(), 1u);  // only the start: the record is not complete yet
  source->push(testing::outbound(protocolTcp, 50000, 443, 101 + 40), rest);
  daemon.readPackets();
  EXPECT_EQ(enforcer.calls().back(), "drop 10.0.0.2:50000 10.0.0.9:443");
}

TEST_F(FilterDaemonTest, AFlowWaitingTooLongIsJudgedOnWhatArrived) {
  save(true, {"blocked.example"});
  daemon.reload();
  const auto hello = testing::ClientHelloBuilder{}.serverName("blocked.example").build();
  source->push(testing::outbound(protocolTcp, 50000, 443, 100, true));
  source->push(testing::outbound(protocolTcp, 50000, 443, 101),
               std::vector<std::uint8_t>(hello.begin(), hello.end() - 1));
  daemon.readPackets();
  daemon.tick(FlowTracker::Clock::now() + std::chrono::seconds(1));
  EXPECT_EQ(enforcer.calls().size(), 1u);
  daemon.tick(FlowTracker::Clock::now() + std::chrono::seconds(6));
  // Judged on the incomplete hello: no name, so allowed; the late last byte changes nothing.
  source->push(testing::outbound(protocolTcp, 50000, 443, 100 + static_cast<std::uint32_t>(hello.size())),
               std::vector<std::uint8_t>(hello.end() - 1, hello.end()));
  daemon.readPackets();
  EXPECT_EQ(enforcer.calls(), std::vector<std::string>{"start"});
}

TEST_F(FilterDaemonTest, PacketsTheKernelDroppedAreLoggedWithTheirCount) {
  save(true, {"blocked.example"});
  daemon.reload();
  const auto now = FlowTracker::Clock::now();
  daemon.tick(now);
  source->setKernelDropped(5);
  daemon.tick(now);
  daemon.tick(now);
  source->setKernelDropped(7);
  daemon.tick(now);
  std::vector<std::string> lines;
  for (const auto& [level, message] : log->records()) {
    if (message.starts_with("capture fell behind")) {
      EXPECT_EQ(level, LogLevel::error);
      lines.push_back(message);
    }
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "capture fell behind: the kernel dropped 5 packets (5 in all); their flows went unjudged",
                       "capture fell behind: the kernel dropped 2 packets (7 in all); their flows went unjudged"}));
}

TEST_F(FilterDaemonTest, RulesThatCannotBeSetUpStopTheProviderAndFailTheStart) {
  enforcer.failStart = true;
  save(true, {"blocked.example"});
  EXPECT_THROW(daemon.reload(), FilterDaemon::StartError);
  EXPECT_FALSE(daemon.isRunning());
  EXPECT_EQ(log->messages(), (std::vector<std::string>{"startFilter blocklistCount=1",
                                                       "cannot enforce: refused on purpose", "stopFilter reason=2"}));
  EXPECT_EQ(enforcer.calls(), (std::vector<std::string>{"start", "stop"}));
  EXPECT_EQ(daemon.run(), 1);
}

TEST_F(FilterDaemonTest, RunFollowsTheFileUntilTerminated) {
  int status = -1;
  std::thread running([&] { status = daemon.run(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  save(true, {"a.com", "b.com"});
  ASSERT_TRUE(waitForMessages(1));
  save(false, {});
  ASSERT_TRUE(waitForMessages(2));
  save(true, {"c.com"});
  ASSERT_TRUE(waitForMessages(3));
  // The signal is blocked in the daemon's thread, so it waits there for the daemon's signalfd.
  ::pthread_kill(running.native_handle(), SIGTERM);
  running.join();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(log->messages(), (std::vector<std::string>{"startFilter blocklistCount=2", "stopFilter reason=9",
                                                       "startFilter blocklistCount=1", "stopFilter reason=1"}));
  // The first stop removes what an earlier run may have left.
  EXPECT_EQ(enforcer.calls(), (std::vector<std::string>{"stop", "start", "stop", "start", "stop"}));
}

}  // namespace
}  // namespace velmoria::filter
