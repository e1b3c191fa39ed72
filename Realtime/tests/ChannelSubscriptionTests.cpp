#include <random>

#include <gtest/gtest.h>

#include "ChannelTestSupport.hpp"
#include "RetryDelay.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/Task.hpp"
#include "realtime/RealtimeError.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::ChannelFixture;
using testing::json;
using testing::logged;
using testing::TestClockScope;

// Advances the test clock until `task` is done (or a real minute passed).
template <class T>
bool driveUntilFinished(const TestClockScope& time, const concurrency::Task<T>& task) {
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!task.isFinished()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    time.waitForSleepers(1, 50ms);
    time.advance(5s);
  }
  return true;
}

std::string errorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const RealtimeError& failure) {
    return "RealtimeError: " + failure.localizedDescription();
  } catch (const concurrency::CancellationError&) {
    return "CancellationError";
  } catch (...) {
  }
  return "other";
}

TEST(ChannelSubscription, UnansweredJoinsAreRetriedWithPausesUntilTheAttemptsRunOut) {
  TestClockScope time;
  ChannelFixture fixture;
  const concurrency::Task<void> subscribing([&] { fixture.channel->subscribeWithError(); });
  ASSERT_TRUE(driveUntilFinished(time, subscribing));

  EXPECT_EQ(errorText(subscribing.result().error()), "RealtimeError: Maximum retry attempts reached.");
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_EQ(fixture.client->pushesWithEvent("phx_join").size(), 5u);
  const auto& logger = *fixture.logger;
  EXPECT_EQ(logged(logger, "Starting subscription to channel 'realtime:room' (attempt 1/5)"), 1u);
  for (int attempt = 1; attempt <= 5; ++attempt) {
    const auto of = std::to_string(attempt) + "/5)";
    EXPECT_EQ(logged(logger, "Attempting to subscribe to channel 'realtime:room' (attempt " + of), 1u) << attempt;
    EXPECT_EQ(logged(logger, "Subscribe timed out for channel 'realtime:room' (attempt " + of), 1u) << attempt;
  }
  std::size_t pauses = 0;
  for (const auto& text : logger.messages())
    pauses += text.rfind("Retrying subscription to channel 'realtime:room' in ", 0) == 0;
  EXPECT_EQ(pauses, 4u);
  const auto errors = logger.errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].message, "Failed to subscribe to channel 'realtime:room' after 5 attempts due to timeout");
  EXPECT_EQ(errors[1].message, "Subscription to channel 'realtime:room' failed after 5 attempts");
  EXPECT_EQ(logged(logger, "Successfully subscribed to channel 'realtime:room'"), 0u);
}

TEST(ChannelSubscription, NoAttemptsAllowedThrowsAtOnceWithoutAJoin) {
  auto options = testing::FakeRealtimeClient::defaultOptions();
  options.maxRetryAttempts = 0;
  ChannelFixture fixture({}, options);
  EXPECT_THROW(fixture.channel->subscribeWithError(), RealtimeError);
  EXPECT_TRUE(fixture.client->pushes().empty());
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_EQ(fixture.logger->errors().at(0).message, "Subscription to channel 'realtime:room' failed after 0 attempts");
  // The form without the error never throws.
  fixture.channel->subscribe();
}

TEST(ChannelSubscription, PausesStayWithinAQuarterOfTheirBaseAndNeverUnderATenth) {
  std::mt19937_64 source(20240501);
  for (int draw = 0; draw < 20000; ++draw) {
    const double first = detail::retryDelay(1, source);
    ASSERT_GE(first, 0.75);
    ASSERT_LE(first, 1.25);
    const double third = detail::retryDelay(3, source);
    ASSERT_GE(third, 3.0);
    ASSERT_LE(third, 5.0);
    for (const std::int64_t late : {6, 7, 40}) {
      const double capped = detail::retryDelay(late, source);
      ASSERT_GE(capped, 22.5);
      ASSERT_LE(capped, 37.5);
    }
    ASSERT_GE(detail::retryDelay(0, source), 0.1);
  }
  // The ends of the range are reachable: a source at its extremes gives the bounds themselves.
  struct Extreme {
    using result_type = std::uint64_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~result_type{0}; }
    result_type value;
    result_type operator()() { return value; }
  };
  Extreme low{0};
  EXPECT_DOUBLE_EQ(detail::retryDelay(2, low), 1.5);
  Extreme high{Extreme::max()};
  EXPECT_LE(detail::retryDelay(2, high), 2.5);
  EXPECT_GT(detail::retryDelay(2, high), 2.49);
}

TEST(ChannelSubscription, ASocketDownAfterAPauseCancelsWithoutAnotherAttempt) {
  TestClockScope time;
  ChannelFixture fixture;
  const concurrency::Task<void> subscribing([&] { fixture.channel->subscribeWithError(); });
  ASSERT_TRUE(time.waitForSleepers(1));
  time.advance(10s);  // the first attempt times out; the pause begins
  ASSERT_TRUE(testing::eventually([&] {
    return testing::logged(*fixture.logger, "Subscribe timed out for channel 'realtime:room' (attempt 1/5)") == 1;
  }));
  fixture.client->setStatus(RealtimeClientStatus::disconnected);
  ASSERT_TRUE(driveUntilFinished(time, subscribing));
  EXPECT_EQ(errorText(subscribing.result().error()), "CancellationError");
  EXPECT_EQ(fixture.client->pushesWithEvent("phx_join").size(), 1u);
  EXPECT_EQ(logged(*fixture.logger,
                   "Socket disconnected during retry delay for channel 'realtime:room', aborting subscription"),
            1u);
  EXPECT_EQ(logged(*fixture.logger, "Subscription retry cancelled for channel 'realtime:room'"), 1u);
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
}

TEST(ChannelSubscription, TheJoinAnnouncesPresenceWhenAPresenceCallbackExistsAndCarriesTheVersion) {
  RealtimeChannelConfig config;
  config.presence.enabled = false;
  config.presence.key = "ada";
  ChannelFixture fixture(config);
  const auto token = fixture.channel->onPresenceChange([](const PresenceActionImpl&) {});
  fixture.join();

  const auto joins = fixture.client->pushesWithEvent("phx_join");
  ASSERT_EQ(joins.size(), 1u);
  const auto& payload = joins[0].payload();
  const auto& joinConfig = *payload.at("config").objectValue();
  EXPECT_EQ(joinConfig.at("presence"), helpers::AnyJSON::object({{"key", "ada"}, {"enabled", true}}));
  EXPECT_EQ(payload.at("version"), helpers::AnyJSON("vededore-dorod/2.41.1"));
  EXPECT_EQ(payload.count("access_token"), 0u) << "neither provider nor stored token";
  EXPECT_EQ(joins[0].ref(), joins[0].joinRef());
  EXPECT_EQ(fixture.channel->joinRef(), joins[0].ref());
  EXPECT_EQ(logged(*fixture.logger, "Successfully subscribed to channel 'realtime:room'"), 1u);

  // Without a presence callback the same channel joins with presence off.
  ChannelFixture plain;
  plain.join();
  const auto plainConfig = *plain.client->pushesWithEvent("phx_join")[0].payload().at("config").objectValue();
  EXPECT_EQ(plainConfig.at("presence"), helpers::AnyJSON::object({{"key", ""}, {"enabled", false}}));
}

TEST(ChannelSubscription, TheJoinTokenIsTheProvidersElseTheStoredOne) {
  ChannelFixture stored;
  stored.client->setAccessToken("stored-token");
  stored.join();
  EXPECT_EQ(stored.client->pushesWithEvent("phx_join")[0].payload().at("access_token"),
            helpers::AnyJSON("stored-token"));

  auto options = testing::FakeRealtimeClient::defaultOptions();
  options.accessToken = []() -> std::optional<std::string> { throw std::runtime_error("signed out"); };
  ChannelFixture failing({}, options);
  failing.client->setAccessToken("stored-token");
  failing.join();
  EXPECT_EQ(failing.client->pushesWithEvent("phx_join")[0].payload().at("access_token"),
            helpers::AnyJSON("stored-token"));

  options.accessToken = []() -> std::optional<std::string> { return "provided-token"; };
  ChannelFixture provided({}, options);
  provided.client->setAccessToken("stored-token");
  provided.join();
  EXPECT_EQ(provided.client->pushesWithEvent("phx_join")[0].payload().at("access_token"),
            helpers::AnyJSON("provided-token"));
}

TEST(ChannelSubscription, AChangeListenerRegisteredJustBeforeSubscribingIsInTheJoin) {
  ChannelFixture fixture;
  const auto token =
      fixture.channel->onPostgresChange<InsertAction>("public", "todos", std::nullopt, [](const InsertAction&) {});
  fixture.join();
  const auto joinConfig = *fixture.client->pushesWithEvent("phx_join")[0].payload().at("config").objectValue();
  EXPECT_EQ(joinConfig.at("postgres_changes"), helpers::AnyJSON::array({helpers::AnyJSON::object(
                                                   {{"event", "INSERT"}, {"schema", "public"}, {"table", "todos"}})}));
}

TEST(ChannelSubscription, WithoutAConnectionAndWithoutConnectOnSubscribeNothingJoins) {
  auto options = testing::FakeRealtimeClient::defaultOptions();
  options.connectOnSubscribe = false;
  ChannelFixture fixture({}, options);
  fixture.client->setStatus(RealtimeClientStatus::disconnected);
  const auto issues = testing::reportedIssues([&] { fixture.channel->subscribeWithError(); });
  EXPECT_EQ(issues, std::vector<std::string>{"You can't subscribe to a channel while the realtime client is not "
                                             "connected. Did you forget to call `realtime.connect()`?"});
  EXPECT_TRUE(fixture.client->pushes().empty());
  EXPECT_EQ(fixture.client->connectCount(), 0);
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_EQ(logged(*fixture.logger, "Successfully subscribed to channel 'realtime:room'"), 0u);
}

TEST(ChannelSubscription, SubscribingConnectsTheClientFirstAndGivesUpWhenThatFails) {
  ChannelFixture connecting;
  connecting.client->setStatus(RealtimeClientStatus::disconnected);
  connecting.join();
  EXPECT_EQ(connecting.client->connectCount(), 1);

  ChannelFixture failing;
  failing.client->setStatus(RealtimeClientStatus::disconnected);
  failing.client->setConnectSucceeds(false);
  failing.channel->subscribeWithError();
  EXPECT_TRUE(failing.client->pushes().empty());
  EXPECT_EQ(logged(*failing.logger, "Socket failed to connect, cannot subscribe to channel realtime:room"), 1u);
  EXPECT_EQ(failing.channel->status(), RealtimeChannelStatus::unsubscribed);
}

TEST(ChannelSubscription, LeavingWithTheSocketDownCountsAsLeftAfterTheTimeout) {
  TestClockScope time;
  ChannelFixture fixture;
  fixture.join();
  fixture.client->setStatus(RealtimeClientStatus::disconnected);
  const concurrency::Task<void> leaving([&] { fixture.channel->unsubscribe(); });
  ASSERT_TRUE(time.waitForSleepers(1));
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribing);
  time.advance(9s);
  EXPECT_FALSE(leaving.isFinished());
  time.advance(1s);
  const bool finished = testing::eventually([&] { return leaving.isFinished(); });
  if (!finished) leaving.cancel();
  ASSERT_TRUE(finished);
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_EQ(fixture.client->pushesWithEvent("phx_leave").size(), 1u);
}

TEST(ChannelSubscription, AServerCloseEndsTheLeaveAtOnce) {
  ChannelFixture fixture;
  fixture.join();
  fixture.client->onPush([&](const RealtimeMessageV2& pushed) {
    if (pushed.event() == "phx_leave") fixture.channel->onMessage(testing::message("realtime:room", "phx_close", "{}"));
  });
  fixture.channel->unsubscribe();
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_EQ(fixture.client->removedTopics(), std::vector<std::string>{"realtime:room"});
}

}  // namespace
}  // namespace zirudeze::realtime
