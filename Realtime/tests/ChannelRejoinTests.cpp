#include <gtest/gtest.h>

#include "ClientTestSupport.hpp"
#include "concurrency/Task.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::ClientTest;
using testing::Recorder;

const char* const kPing =
    R"({"topic":"realtime:room","event":"broadcast","payload":{"type":"broadcast","event":"ping"}})";

bool registered(const RealtimeClientV2& client, const std::shared_ptr<RealtimeChannelV2>& channel) {
  const auto channels = client.channels();
  return std::find(channels.begin(), channels.end(), channel) != channels.end();
}

// subscribeWithError(), given up when it has not ended soon: a join nobody answers would wait on the
// test clock for good. Whether it ended.
bool subscribeEnds(const std::shared_ptr<RealtimeChannelV2>& channel) {
  const concurrency::Task<void> joining([channel] { channel->subscribeWithError(); });
  const bool ended = testing::eventually([&] { return joining.isFinished(); }, 5s);
  if (!ended) joining.cancel();
  (void)joining.result();
  return ended;
}

// The server's close of a leave takes the channel out of the client's registry; joining again has to
// put it back, or what the server sends the channel from then on reaches nobody.
TEST_F(ClientTest, APresenceListenerOnAJoinedChannelRejoinsAndGoesOnReceiving) {
  const auto client = makeClient();
  const auto channel = client->channel("room");
  Recorder<std::string> titles;
  const auto inserts = channel->onPostgresChange<InsertAction>(
      "public", "todos", std::nullopt,
      [record = titles.listener()](const InsertAction& action) { record(action.record.at("title").description()); });
  Recorder<std::string> pings;
  const auto broadcasts =
      channel->onBroadcast("ping", [record = pings.listener()](const helpers::JSONObject&) { record("ping"); });
  channel->subscribeWithError();
  ASSERT_EQ(channel->status(), RealtimeChannelStatus::subscribed);

  Recorder<std::size_t> presence;
  const auto token = channel->onPresenceChange(
      [record = presence.listener()](const PresenceActionImpl& action) { record(action.joins.size()); });
  ASSERT_TRUE(realtime.waitForEvent("phx_join", 2));
  ASSERT_TRUE(presence.waitForCount(1)) << "the state the server sends on the join with presence";
  EXPECT_EQ(realtime.receivedWithEvent("phx_leave").size(), 1u);
  EXPECT_EQ(realtime.receivedWithEvent("phx_join")[1]["payload"]["config"]["presence"]["enabled"], true);
  ASSERT_TRUE(testing::eventually([&] { return channel->status() == RealtimeChannelStatus::subscribed; }));
  EXPECT_TRUE(registered(*client, channel));

  EXPECT_EQ(realtime.sendChange({"INSERT", "todos", {{"id", 1}, {"title", "after"}}}), 1u);
  realtime.sendText(kPing);
  ASSERT_TRUE(titles.waitForCount(1));
  EXPECT_EQ(titles.values(), std::vector<std::string>{"after"});
  ASSERT_TRUE(pings.waitForCount(1));
  EXPECT_EQ(loggedStartingWith("Subscribe timed out"), 0u);
}

TEST_F(ClientTest, LeavingAndJoiningAgainOnOneChannelKeepsItReachable) {
  const auto client = makeClient();
  const auto channel = joined(*client, "room");
  Recorder<std::string> pings;
  const auto broadcasts =
      channel->onBroadcast("ping", [record = pings.listener()](const helpers::JSONObject&) { record("ping"); });

  channel->unsubscribe();
  EXPECT_EQ(channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_FALSE(registered(*client, channel)) << "the server's close took it out";

  ASSERT_TRUE(subscribeEnds(channel));
  EXPECT_EQ(channel->status(), RealtimeChannelStatus::subscribed);
  EXPECT_EQ(client->channels(), std::vector<std::shared_ptr<RealtimeChannelV2>>{channel});
  realtime.sendText(kPing);
  ASSERT_TRUE(pings.waitForCount(1));

  // A channel the client dropped on request comes back the same way.
  client->removeChannel(channel);
  EXPECT_TRUE(client->channels().empty());
  ASSERT_TRUE(subscribeEnds(channel));
  EXPECT_EQ(channel->status(), RealtimeChannelStatus::subscribed);
  EXPECT_TRUE(registered(*client, channel));
}

TEST_F(ClientTest, AChannelThatLeftDoesNotTakeItsTopicFromTheOneThatHoldsItNow) {
  const auto client = makeClient();
  const auto left = joined(*client, "room");
  left->unsubscribe();
  const auto holder = joined(*client, "room");
  ASSERT_NE(holder, left);
  const auto joins = realtime.receivedWithEvent("phx_join").size();

  const auto issues = testing::reportedIssues([&] { EXPECT_TRUE(subscribeEnds(left)); });
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_NE(issues[0].find("Another channel holds the topic realtime:room"), std::string::npos) << issues[0];
  EXPECT_EQ(left->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_EQ(client->channels(), std::vector<std::shared_ptr<RealtimeChannelV2>>{holder});
  EXPECT_EQ(realtime.receivedWithEvent("phx_join").size(), joins) << "no second join for the topic";
  EXPECT_EQ(holder->status(), RealtimeChannelStatus::subscribed);
}

TEST_F(ClientTest, RemovingAStaleHandleLeavesTheChannelNowHoldingItsTopicAlone) {
  const auto client = makeClient();
  const auto stale = joined(*client, "room");
  client->removeChannel(stale);
  const auto live = joined(*client, "room");
  ASSERT_NE(live, stale);
  Recorder<std::string> pings;
  const auto broadcasts =
      live->onBroadcast("ping", [record = pings.listener()](const helpers::JSONObject&) { record("ping"); });
  client->removeChannel(stale);
  EXPECT_EQ(client->channels(), std::vector<std::shared_ptr<RealtimeChannelV2>>{live});
  EXPECT_EQ(live->status(), RealtimeChannelStatus::subscribed);
  EXPECT_EQ(client->status(), RealtimeClientStatus::connected);
  EXPECT_EQ(realtime.receivedWithEvent("phx_leave").size(), 1u) << "only the first removal left";
  realtime.sendText(kPing);
  ASSERT_TRUE(pings.waitForCount(1));
}

TEST_F(ClientTest, AJoinStillWaitingForItsReplyIsSentAgainOnTheNewConnection) {
  auto given = options();
  given.timeoutInterval = 60;  // far past the reconnection: only the rejoin can answer it in time
  const auto client = makeClient(given);
  ASSERT_TRUE(connected(*client));
  realtime.setAnswersJoins(false);
  const auto channel = client->channel("room");
  const concurrency::Task<void> joining([channel] { channel->subscribeWithError(); });
  ASSERT_TRUE(realtime.waitForEvent("phx_join", 1));
  realtime.setAnswersJoins(true);
  realtime.dropConnections();
  ASSERT_TRUE(advanceUntil([&] { return realtime.connectionCount() == 2; }));
  EXPECT_TRUE(testing::eventually([&] { return eventsOf(1) == std::vector<std::string>{"phx_join"}; }));
  EXPECT_TRUE(testing::eventually([&] { return joining.isFinished(); }));
  if (!joining.isFinished()) joining.cancel();
  EXPECT_EQ(channel->status(), RealtimeChannelStatus::subscribed);
  EXPECT_EQ(loggedStartingWith("Subscribe timed out"), 0u);
}

}  // namespace
}  // namespace zirudeze::realtime
