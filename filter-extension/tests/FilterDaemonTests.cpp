#include "velmoria_filter/FilterDaemon.hpp"

#include "RecordingLog.hpp"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

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

class FilterDaemonTest : public ::testing::Test {
 protected:
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("velmoria-daemon-" + std::to_string(::getpid()));
  std::filesystem::path file = folder / "network-extension.json";
  std::shared_ptr<testing::RecordingLog> log = std::make_shared<testing::RecordingLog>();
  WebFilterProvider provider{log};
  FilterDaemon daemon{provider, file};

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

  bool waitForMessages(std::size_t count) const {
    for (int i = 0; i < 300 && log->messages().size() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return log->messages().size() >= count;
  }
};

TEST_F(FilterDaemonTest, StartsAndStopsTheProviderAsTheFlagChanges) {
  daemon.reload();
  EXPECT_FALSE(daemon.isRunning());
  EXPECT_TRUE(log->messages().empty());

  save(true, {"a.com"});
  daemon.reload();
  EXPECT_TRUE(daemon.isRunning());
  EXPECT_EQ(provider.blocklist(), std::set<std::string>{"a.com"});

  // A list saved while running reaches the provider only with the next start.
  save(true, {"b.com"});
  daemon.reload();
  EXPECT_EQ(provider.blocklist(), std::set<std::string>{"a.com"});

  save(false, {"b.com"});
  daemon.reload();
  EXPECT_FALSE(daemon.isRunning());
  save(true, {"b.com"});
  daemon.reload();
  EXPECT_EQ(provider.blocklist(), std::set<std::string>{"b.com"});

  std::filesystem::remove(file);
  daemon.reload();
  EXPECT_FALSE(daemon.isRunning());
  EXPECT_EQ(log->messages(), (std::vector<std::string>{"startFilter blocklistCount=1", "stopFilter reason=9",
                                                       "startFilter blocklistCount=1", "stopFilter reason=10"}));
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
}

}  // namespace
}  // namespace velmoria::filter
