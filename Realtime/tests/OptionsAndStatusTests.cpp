#include <gtest/gtest.h>

#include "WireTestSupport.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "realtime/BroadcastMessagePayload.hpp"
#include "realtime/RealtimeClientOptions.hpp"
#include "realtime/RealtimeError.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {
namespace {

TEST(RealtimeClientOptionsDefaults, EverythingHasItsDocumentedDefault) {
  const RealtimeClientOptions options;
  EXPECT_EQ(options.heartbeatInterval, 25);
  EXPECT_EQ(options.reconnectDelay, 7);
  EXPECT_EQ(options.timeoutInterval, 10);
  EXPECT_TRUE(options.disconnectOnSessionLoss);
  EXPECT_TRUE(options.connectOnSubscribe);
  EXPECT_EQ(options.maxRetryAttempts, 5);
  EXPECT_EQ(options.logLevel, std::nullopt);
  EXPECT_FALSE(options.fetch);
  EXPECT_FALSE(options.accessToken);
  EXPECT_EQ(options.logger, nullptr);
  EXPECT_EQ(options.headers.count(), 0u);
}

TEST(RealtimeClientOptionsHeaders, InvalidNamesAreDroppedAndTheRestKept) {
  const RealtimeClientOptions options({{"apikey", "key"}, {"bad name", "x"}, {"X-Client-Info", "app/1"}});
  EXPECT_EQ(options.headers.count(), 2u);
  EXPECT_EQ(helpers::dictionary(options.headers),
            (std::map<std::string, std::string>{{"X-Client-Info", "app/1"}, {"apikey", "key"}}));
}

TEST(RealtimeClientConfiguration, MapsOntoOptionsWithFixedAttemptsAndNoLogLevel) {
  const RealtimeClientV2Configuration configuration(*velmoria::base::URL::parse("https://p.example/realtime/v1"),
                                                    "unused", {{"apikey", "k"}}, 1, 2, 3, false, false, nullptr);
  const RealtimeClientOptions options = configuration.options();
  EXPECT_EQ(options.heartbeatInterval, 1);
  EXPECT_EQ(options.reconnectDelay, 2);
  EXPECT_EQ(options.timeoutInterval, 3);
  EXPECT_FALSE(options.disconnectOnSessionLoss);
  EXPECT_FALSE(options.connectOnSubscribe);
  EXPECT_EQ(options.maxRetryAttempts, 5);
  EXPECT_EQ(options.logLevel, std::nullopt);
  EXPECT_FALSE(options.accessToken);
  EXPECT_EQ(helpers::dictionary(options.headers), (std::map<std::string, std::string>{{"apikey", "k"}}));
}

TEST(RealtimeStatusTexts, RawValuesReadExactly) {
  EXPECT_EQ(makeLogLevel("warn"), LogLevel::warn);
  EXPECT_EQ(makeLogLevel("WARN"), std::nullopt);
  EXPECT_EQ(makeLogLevel(""), std::nullopt);
  EXPECT_EQ(rawValue(LogLevel::error), "error");
  EXPECT_EQ(makePushStatus("timeout"), PushStatus::timeout);
  EXPECT_EQ(makePushStatus("Ok"), std::nullopt);
  EXPECT_EQ(rawValue(PushStatus::ok), "ok");
  EXPECT_EQ(description(RealtimeClientStatus::connecting), "Connecting");
  EXPECT_EQ(description(RealtimeClientStatus::disconnected), "Disconnected");
  EXPECT_EQ(description(RealtimeClientStatus::connected), "Connected");
}

TEST(RealtimeErrorText, TheDescriptionIsTheLocalizedDescription) {
  EXPECT_EQ(RealtimeError("boom").localizedDescription(), "boom");
  EXPECT_STREQ(RealtimeError("boom").what(), "boom");
  EXPECT_EQ(RealtimeError(std::nullopt).errorDescription(), std::nullopt);
}

TEST(BroadcastMessagePayloadCoding, OneMessageWritesItsKeysInOrder) {
  BroadcastMessagePayload payload{{{"realtime:room", "typing", testing::object(R"({"who":"ana"})"), true}}};
  EXPECT_EQ(testing::encoded(payload),
            R"({"messages":[{"topic":"realtime:room","event":"typing","payload":{"who":"ana"},"private":true}]})");
}

}  // namespace
}  // namespace zirudeze::realtime
