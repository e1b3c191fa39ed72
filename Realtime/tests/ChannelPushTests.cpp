#include <gtest/gtest.h>

#include "ChannelTestSupport.hpp"
#include "concurrency/Task.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::ChannelFixture;
using testing::logged;
using testing::TestClockScope;

RealtimeChannelConfig acknowledged() {
  RealtimeChannelConfig config;
  config.broadcast.acknowledgeBroadcasts = true;
  return config;
}

// The push's outcome once it has ended; nothing (and the push cancelled) when it does not end soon.
std::optional<PushStatus> outcome(const concurrency::Task<PushStatus>& push) {
  if (!testing::eventually([&] { return push.isFinished(); }, 5s)) {
    push.cancel();
    (void)push.result();
    return std::nullopt;
  }
  return push.value();
}

RealtimeMessageV2 reply(const std::string& ref, const std::string& status) {
  return testing::message("realtime:room", "phx_reply", R"({"status":")" + status + R"(","response":{}})", ref);
}

TEST(ChannelPush, WithoutAcknowledgementAPushIsOkAtOnceEvenWhileDisconnected) {
  ChannelFixture fixture;
  fixture.client->setStatus(RealtimeClientStatus::disconnected);
  EXPECT_EQ(fixture.channel->push("broadcast", std::nullopt, testing::json(R"({"a":1})")), PushStatus::ok);
  const auto pushes = fixture.client->pushes();
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_EQ(pushes[0].topic(), "realtime:room");
  EXPECT_EQ(pushes[0].ref(), "1");
  EXPECT_EQ(pushes[0].joinRef(), std::nullopt);
}

TEST(ChannelPush, WithAcknowledgementTheReplysStatusIsTheOutcome) {
  ChannelFixture fixture(acknowledged());
  const std::vector<std::pair<std::string, PushStatus>> cases{
      {"ok", PushStatus::ok}, {"error", PushStatus::error}, {"timeout", PushStatus::timeout}, {"OK", PushStatus::ok}};
  for (const auto& [word, expected] : cases) {
    fixture.client->onPush(
        [&, word = word](const RealtimeMessageV2& pushed) { fixture.channel->onMessage(reply(*pushed.ref(), word)); });
    EXPECT_EQ(fixture.channel->push("broadcast"), expected) << word;
  }
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed) << "an error reply leaves the status";
}

TEST(ChannelPush, AnUnansweredPushTimesOutAtTheClientsTimeoutAndALateReplyChangesNothing) {
  TestClockScope time;
  auto options = testing::FakeRealtimeClient::defaultOptions();
  options.timeoutInterval = 2.5;
  ChannelFixture fixture(acknowledged(), options);
  const concurrency::Task<PushStatus> pushing([&] { return fixture.channel->push("broadcast"); });
  ASSERT_TRUE(time.waitForSleepers(1));
  EXPECT_EQ(fixture.channel->pendingPushCount(), 1u);
  time.advance(2499ms);
  EXPECT_FALSE(pushing.isFinished());
  time.advance(1ms);
  EXPECT_EQ(outcome(pushing), PushStatus::timeout);
  EXPECT_EQ(logged(*fixture.logger, "Push timed out."), 1u);
  EXPECT_EQ(fixture.channel->pendingPushCount(), 0u) << "nothing waits for its reply any more";
  fixture.channel->onMessage(reply("1", "error"));
  EXPECT_EQ(logged(*fixture.logger, "Push timed out."), 1u);
  EXPECT_TRUE(fixture.logger->errors().empty());
}

TEST(ChannelPush, PushesThatWaitForNoReplyAreNotKept) {
  ChannelFixture fixture;
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(fixture.channel->push("broadcast", std::nullopt, testing::json(R"({"n":1})")), PushStatus::ok);
  }
  EXPECT_EQ(fixture.channel->pendingPushCount(), 0u);
  EXPECT_EQ(fixture.client->pushes().size(), 100u);

  // An answered one leaves too, whether or not anybody waited.
  ChannelFixture answered(acknowledged());
  answered.client->onPush(
      [&](const RealtimeMessageV2& pushed) { answered.channel->onMessage(reply(*pushed.ref(), "ok")); });
  EXPECT_EQ(answered.channel->push("broadcast"), PushStatus::ok);
  EXPECT_EQ(answered.channel->pendingPushCount(), 0u);
}

TEST(ChannelPush, ARepeatedRefReplacesThePendingPushSoTheReplyCompletesOnlyTheSecond) {
  TestClockScope time;
  ChannelFixture fixture(acknowledged());
  const concurrency::Task<PushStatus> first([&] { return fixture.channel->push("broadcast", "same"); });
  ASSERT_TRUE(fixture.client->waitForPushes("broadcast", 1));
  const concurrency::Task<PushStatus> second([&] { return fixture.channel->push("broadcast", "same"); });
  ASSERT_TRUE(fixture.client->waitForPushes("broadcast", 2));
  ASSERT_TRUE(time.waitForSleepers(2));
  fixture.channel->onMessage(reply("same", "error"));
  EXPECT_EQ(second.value(), PushStatus::error);
  EXPECT_FALSE(first.isFinished());
  time.advance(10s);
  EXPECT_EQ(first.value(), PushStatus::timeout);
  EXPECT_EQ(fixture.channel->pendingPushCount(), 0u);
}

TEST(ChannelPush, AnEarlierPushWithTheSameRefTimingOutLeavesTheLaterOneWaiting) {
  TestClockScope time;
  ChannelFixture fixture(acknowledged());
  const concurrency::Task<PushStatus> first([&] { return fixture.channel->push("broadcast", "same"); });
  ASSERT_TRUE(time.waitForSleepers(1));
  time.advance(5s);
  const concurrency::Task<PushStatus> second([&] { return fixture.channel->push("broadcast", "same"); });
  ASSERT_TRUE(time.waitForSleepers(2));
  time.advance(5s);
  EXPECT_EQ(outcome(first), PushStatus::timeout);
  fixture.channel->onMessage(reply("same", "error"));
  EXPECT_EQ(outcome(second), PushStatus::error);
}

TEST(ChannelPush, APushWhoseChannelIsGoneIsAnErrorAndSendsNothing) {
  ChannelFixture fixture;
  PushV2 orphan(std::weak_ptr<RealtimeChannelV2>{}, testing::message("realtime:room", "broadcast", "{}", "9"));
  EXPECT_EQ(orphan.send(), PushStatus::error);
  EXPECT_TRUE(fixture.client->pushes().empty());

  // A channel whose client is gone has nobody to send through.
  auto lonely = RealtimeChannelV2::make("realtime:lonely", {}, std::weak_ptr<RealtimeClientProtocol>{}, nullptr);
  EXPECT_EQ(lonely->push("broadcast"), PushStatus::error);
}

TEST(ChannelPush, ACancelledWaitIsAnErrorWithItsReason) {
  ChannelFixture fixture(acknowledged());
  const concurrency::Task<PushStatus> pushing([&] { return fixture.channel->push("broadcast"); });
  ASSERT_TRUE(fixture.client->waitForPushes("broadcast", 1));
  pushing.cancel();
  EXPECT_EQ(pushing.value(), PushStatus::error);
  ASSERT_EQ(fixture.logger->errors().size(), 1u);
  EXPECT_EQ(fixture.logger->errors()[0].message.rfind("Error sending push: ", 0), 0u);
}

}  // namespace
}  // namespace zirudeze::realtime
