#include "velmoria_filter/FilterDaemon.hpp"

#include "RecordingLog.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace velmoria::filter {
namespace {

TEST(FilterPreferencesTest, ReadsTheEnabledFlagAndVendorDictionary) {
  const auto stored = parseFilterPreferences(R"({"filterConfiguration": {"enabled": true, "localizedDescription": "velmoria Web Filter",
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

TEST(FilterPreferencesTest, DefaultPathFollowsXdgConfigHome) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string restore = saved != nullptr ? saved : "";
  ::setenv("XDG_CONFIG_HOME", "/srv/config", 1);
  EXPECT_EQ(defaultFilterPreferencesPath(), "/srv/config/velmoria/network-extension.json");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_NE(defaultFilterPreferencesPath(), "relative/velmoria/network-extension.json");
  if (saved != nullptr) {
    ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

class FilterDaemonTest : public ::testing::Test {
 protected:
  std::filesystem::path file = std::filesystem::temp_directory_path() /
                               ("velmoria-daemon-" + std::to_string(::getpid()) + ".json");
  std::shared_ptr<testing::RecordingLog> log = std::make_shared<testing::RecordingLog>();
  WebFilterProvider provider{log};
  FilterDaemon daemon{provider, file};

  void TearDown() override { std::filesystem::remove(file); }

  void save(bool enabled, const std::vector<std::string>& domains) {
    const nlohmann::json preferences{
        {"filterConfiguration",
         {{"enabled", enabled}, {"providerConfiguration", {{"vendorConfiguration", {{"mac.blockedDomains", domains}}}}}}}};
    std::ofstream(file) << preferences.dump();
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

}  // namespace
}  // namespace velmoria::filter
