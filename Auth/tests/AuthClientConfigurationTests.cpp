#include <gtest/gtest.h>

#include "auth/AuthClient.hpp"
#include "auth/AuthClientConfiguration.hpp"
#include "auth/Keychain.hpp"
#include "auth/Session.hpp"
#include "base/coding/Coding.hpp"
#include "helpers/ISO8601Date.hpp"
#include "platform/InMemoryKeychainStore.hpp"

namespace zirudeze::auth {
namespace {

std::shared_ptr<AuthLocalStorage> memoryStorage() {
  return std::make_shared<KeychainLocalStorage>(
      Keychain("zirudeze.auth", std::nullopt, std::make_shared<velmoria::platform::InMemoryKeychainStore>()));
}

velmoria::base::URL url(std::string_view text) { return *velmoria::base::URL::parse(text); }

TEST(AuthClientConfiguration, TheCallersClientInfoWinsAndOtherwiseTheDefaultIsAdded) {
  const AuthClient::Configuration own(
      {.headers = {{"X-Client-Info", "app/1"}, {"Apikey", "k"}}, .localStorage = memoryStorage()});
  EXPECT_EQ(own.headers, (std::map<std::string, std::string>{{"X-Client-Info", "app/1"}, {"Apikey", "k"}}));

  const AuthClientConfiguration plain({.localStorage = memoryStorage()});
  EXPECT_EQ(plain.headers, (std::map<std::string, std::string>{{"X-Client-Info", "auth-cpp/2.41.1"}}));
  EXPECT_EQ(AuthClientConfiguration::defaultHeaders(), plain.headers);
}

TEST(AuthClientConfiguration, HeaderNamesAreComparedExactlySoAnotherSpellingKeepsTheDefault) {
  const AuthClientConfiguration lower({.headers = {{"x-client-info", "app/1"}}, .localStorage = memoryStorage()});
  EXPECT_EQ(lower.headers.at("x-client-info"), "app/1");
  EXPECT_EQ(lower.headers.at("X-Client-Info"), "auth-cpp/2.41.1");
}

TEST(AuthClientConfiguration, WithoutAURLTheLocalDevelopmentEndpointIsUsed) {
  const AuthClientConfiguration none({.localStorage = memoryStorage()});
  EXPECT_EQ(none.url, defaultAuthURL());
  EXPECT_EQ(defaultAuthURL().absoluteString(), "http://localhost:8000/auth/v1");
  const AuthClientConfiguration given({.url = url("https://p.example/auth/v1"), .localStorage = memoryStorage()});
  EXPECT_EQ(given.url, url("https://p.example/auth/v1"));
}

TEST(AuthClientConfiguration, LeftOutSettingsTakeTheirDefaults) {
  const AuthClientConfiguration made({.localStorage = nullptr});
  EXPECT_EQ(made.flowType, AuthFlowType::pkce);
  EXPECT_EQ(made.flowType, AuthClientConfiguration::defaultFlowType);
  EXPECT_TRUE(made.autoRefreshToken);
  EXPECT_FALSE(made.emitLocalSessionAsInitialSession);
  EXPECT_EQ(made.localStorage, AuthClientConfiguration::defaultLocalStorage());
  EXPECT_EQ(made.logger, nullptr);
  EXPECT_EQ(made.redirectToURL, std::nullopt);
  EXPECT_EQ(made.storageKey, std::nullopt);
  EXPECT_TRUE(static_cast<bool>(made.fetch));
  EXPECT_EQ(made.encoder.settings.keyEncodingStrategy, velmoria::base::KeyEncodingStrategy::convertToSnakeCase);
  EXPECT_EQ(made.decoder.settings.keyDecodingStrategy, velmoria::base::KeyDecodingStrategy::convertFromSnakeCase);
}

TEST(AuthClientConfiguration, TheOlderInitialiserFixesRefreshOnAndNoInitialLocalSession) {
  const auto storage = memoryStorage();
  const AuthClientConfiguration older(url("https://p.example/auth/v1"), {{"Apikey", "k"}}, AuthFlowType::implicit,
                                      storage);
  EXPECT_TRUE(older.autoRefreshToken);
  EXPECT_FALSE(older.emitLocalSessionAsInitialSession);
  EXPECT_EQ(older.flowType, AuthFlowType::implicit);
  EXPECT_EQ(older.localStorage, storage);
  EXPECT_EQ(older.redirectToURL, std::nullopt);
  EXPECT_EQ(older.storageKey, std::nullopt);
  EXPECT_EQ(older.logger, nullptr);
  EXPECT_EQ(older.headers.at("X-Client-Info"), "auth-cpp/2.41.1");
  EXPECT_EQ(older.headers.at("Apikey"), "k");
}

TEST(AuthClientConfiguration, TheDefaultCodersConvertKeysToAndFromSnakeCase) {
  struct Body {
    std::string redirectTo;
    void encode(velmoria::base::Encoder& encoder) const {
      auto c = encoder.container();
      c.encode("redirectTo", redirectTo);
    }
  };
  EXPECT_EQ(AuthClientConfiguration::jsonEncoder().encodeToString(Body{"https://x"}), R"({"redirect_to":"https://x"})");

  struct Answer {
    double expiresAt = 0;
    static Answer decode(const velmoria::base::Decoder& decoder) {
      const auto c = decoder.container();
      return {c.decode<double>("expiresAt")};
    }
  };
  EXPECT_EQ(AuthClientConfiguration::jsonDecoder().decode<Answer>(std::string_view(R"({"expires_at":12.5})")).expiresAt,
            12.5);
  EXPECT_EQ(&AuthClientConfiguration::jsonEncoder(), &AuthClientConfiguration::jsonEncoder());
}

TEST(APIVersions, HoldOneVersionAtMidnightOfItsDay) {
  ASSERT_EQ(apiVersions().size(), 1u);
  const auto& [name, version] = *apiVersions().begin();
  EXPECT_EQ(APIVersion::rawValue(name), "2024-01-01");
  EXPECT_EQ(version.name, APIVersion::Name::_20240101);
  EXPECT_EQ(version.timestamp, velmoria::base::dateFromSecondsSince1970(1704067200));
  EXPECT_EQ(APIVersion::nameFromRawValue("2024-01-01"), APIVersion::Name::_20240101);
  EXPECT_EQ(APIVersion::nameFromRawValue("2024-01-02"), std::nullopt);
  EXPECT_EQ(apiVersionHeaderName().rawName(), "X-Zirudeze-Api-Version");
}

}  // namespace
}  // namespace zirudeze::auth
