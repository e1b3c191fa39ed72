#include <unistd.h>

#include <fstream>
#include <future>

#include <gtest/gtest.h>

#include "platform/NetworkExtensionPreferences.hpp"

namespace velmoria::platform {
namespace {

class FilePreferencesTest : public ::testing::Test {
 protected:
  std::filesystem::path folder = std::filesystem::temp_directory_path() / ("velmoria-ne-" + std::to_string(::getpid()));
  std::filesystem::path file = folder / "velmoria" / "network-extension.json";

  void TearDown() override { std::filesystem::remove_all(folder); }

  static std::pair<FilterConfiguration, std::optional<NetworkExtensionError>> load(
      NetworkExtensionPreferences& preferences) {
    std::promise<std::pair<FilterConfiguration, std::optional<NetworkExtensionError>>> done;
    preferences.loadFilterConfiguration([&](FilterConfiguration c, std::optional<NetworkExtensionError> e) {
      done.set_value({c, e});
    });
    return done.get_future().get();
  }
  static std::optional<NetworkExtensionError> save(NetworkExtensionPreferences& preferences, FilterConfiguration c) {
    std::promise<std::optional<NetworkExtensionError>> done;
    preferences.saveFilterConfiguration(std::move(c),
                                        [&](std::optional<NetworkExtensionError> e) { done.set_value(e); });
    return done.get_future().get();
  }

  static FilterConfiguration webFilter(bool enabled, std::vector<std::string> domains) {
    FilterConfiguration configuration;
    configuration.enabled = enabled;
    configuration.localizedDescription = "velmoria Web Filter";
    FilterProviderConfiguration provider;
    provider.filterSockets = true;
    provider.vendorConfiguration = nlohmann::json{{"mac.blockedDomains", domains}};
    configuration.providerConfiguration = provider;
    return configuration;
  }
};

TEST_F(FilePreferencesTest, MissingFileLoadsAsNoConfiguration) {
  FileNetworkExtensionPreferences preferences(file);
  const auto [configuration, error] = load(preferences);
  EXPECT_EQ(error, std::nullopt);
  EXPECT_FALSE(configuration.providerConfiguration.has_value());
}

TEST_F(FilePreferencesTest, SavedConfigurationLoadsBackAndKeepsForeignKeys) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << R"({"other": 7, "filterConfiguration": {"organization": "x",
      "providerConfiguration": {"serverAddress": "s", "filterSockets": false}},
      "transparentProxyConfigurations": [{"identifier": "old"}]})";
  FileNetworkExtensionPreferences preferences(file);
  auto [loaded, error] = load(preferences);
  ASSERT_EQ(error, std::nullopt);
  ASSERT_TRUE(loaded.providerConfiguration.has_value());
  loaded.enabled = true;
  loaded.providerConfiguration->filterSockets = true;
  loaded.providerConfiguration->vendorConfiguration = nlohmann::json{{"mac.blockedDomains", {"a.com"}}};
  EXPECT_EQ(save(preferences, loaded), std::nullopt);

  std::ifstream in(file);
  const auto root = nlohmann::json::parse(in);
  EXPECT_EQ(root["other"], 7);
  EXPECT_EQ(root["transparentProxyConfigurations"].size(), 1u);
  EXPECT_EQ(root["filterConfiguration"]["organization"], "x");
  EXPECT_EQ(root["filterConfiguration"]["enabled"], true);
  EXPECT_EQ(root["filterConfiguration"]["providerConfiguration"]["serverAddress"], "s");
  EXPECT_EQ(root["filterConfiguration"]["providerConfiguration"]["filterSockets"], true);
  EXPECT_EQ(root["filterConfiguration"]["providerConfiguration"]["vendorConfiguration"]["mac.blockedDomains"][0],
            "a.com");
  EXPECT_EQ(load(preferences).first, loaded);
}

TEST_F(FilePreferencesTest, DamagedFileFailsTheLoadAndIsSetAsideByTheNextSave) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << "{ broken";
  FileNetworkExtensionPreferences preferences(file);
  const auto [configuration, error] = load(preferences);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->code(), NetworkExtensionError::configurationInvalid);
  EXPECT_FALSE(error->localizedDescription().empty());

  std::ofstream(file, std::ios::trunc) << R"({"filterConfiguration": {"enabled": "yes"}})";
  EXPECT_TRUE(load(preferences).second.has_value());

  EXPECT_EQ(save(preferences, webFilter(false, {})), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(file.string() + ".corrupt") == false);  // wrong shape is not damage
  std::ofstream(file, std::ios::trunc) << "{ broken";
  EXPECT_EQ(save(preferences, webFilter(true, {"a.com"})), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(file.string() + ".corrupt"));
  EXPECT_EQ(load(preferences).first, webFilter(true, {"a.com"}));
}

TEST_F(FilePreferencesTest, CallsCompleteInTheOrderTheyWereMade) {
  FileNetworkExtensionPreferences preferences(file);
  std::vector<int> order;
  std::mutex mutex;
  std::promise<void> done;
  for (int i = 0; i < 5; ++i) {
    preferences.saveFilterConfiguration(webFilter(i % 2 == 0, {"d" + std::to_string(i)}), [&, i](auto) {
      const std::lock_guard lock(mutex);
      order.push_back(i);
    });
  }
  preferences.loadFilterConfiguration([&](FilterConfiguration c, auto) {
    EXPECT_EQ(c, webFilter(true, {"d4"}));
    done.set_value();
  });
  done.get_future().wait();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(FilePreferencesTest, RemovesTransparentProxyConfigurationsByIdentifier) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << R"({"transparentProxyConfigurations": [{"identifier": "a"}, {"identifier": "b"}, 3]})";
  FileNetworkExtensionPreferences preferences(file);
  std::promise<std::vector<TransparentProxyConfiguration>> listed;
  preferences.loadAllTransparentProxyConfigurations([&](auto proxies, auto error) {
    EXPECT_EQ(error, std::nullopt);
    listed.set_value(proxies);
  });
  const auto proxies = listed.get_future().get();
  ASSERT_EQ(proxies.size(), 2u);
  std::promise<void> removed;
  preferences.removeTransparentProxyConfiguration("a", [&](auto error) {
    EXPECT_EQ(error, std::nullopt);
    removed.set_value();
  });
  removed.get_future().wait();
  std::ifstream in(file);
  EXPECT_EQ(nlohmann::json::parse(in)["transparentProxyConfigurations"],
            nlohmann::json::parse(R"([{"identifier": "b"}, 3])"));
}

}  // namespace
}  // namespace velmoria::platform
