#include <gtest/gtest.h>

#include "ChannelTestSupport.hpp"
#include "concurrency/Task.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::ChannelFixture;
using testing::json;
using testing::logged;

RealtimeMessageV2 change(const std::string& type, const std::string& ids) {
  return testing::message("realtime:room", "postgres_changes",
                          R"({"ids":)" + ids + R"(,"data":{"type":")" + type +
                              R"(","record":{"id":1},"columns":[],"commit_timestamp":"2024-05-01T10:00:00Z"}})");
}

TEST(ChannelInbound, AJoinReplyWithServerIdsStoresThemAndSubscribes) {
  ChannelFixture fixture;
  fixture.join(R"([{"id":7,"event":"*","schema":"public"}])");
  const auto accepted = fixture.channel->callbackManager()->serverChanges();
  ASSERT_EQ(accepted.size(), 1u);
  EXPECT_EQ(accepted[0].id, 7);
  EXPECT_EQ(accepted[0].event, PostgresChangeEvent::all);
  EXPECT_EQ(logged(*fixture.logger, "Subscribed to channel realtime:room"), 1u);
}

TEST(ChannelInbound, AReplyWithoutChangesCompletesOnlyItsPush) {
  RealtimeChannelConfig config;
  config.broadcast.acknowledgeBroadcasts = true;
  ChannelFixture fixture(config);
  const concurrency::Task<PushStatus> pushing([&] { return fixture.channel->push("broadcast", "5"); });
  ASSERT_TRUE(fixture.client->waitForPushes("broadcast", 1));
  fixture.channel->onMessage(testing::message("realtime:room", "phx_reply", R"({"status":"error"})", "5"));
  EXPECT_EQ(pushing.value(), PushStatus::error);
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_TRUE(fixture.channel->callbackManager()->serverChanges().empty());
}

TEST(ChannelInbound, RepliesWithoutRefOrStatusAreReportedAndDropped) {
  ChannelFixture fixture;
  fixture.channel->onMessage(testing::message("realtime:room", "phx_reply", R"({"status":"ok"})"));
  fixture.channel->onMessage(testing::message("realtime:room", "phx_reply", R"({"status":1})", "3"));
  std::size_t failures = 0;
  for (const auto& text : fixture.logger->messages()) {
    failures += text.rfind("Failed: Received a reply with unexpected payload: ", 0) == 0;
  }
  EXPECT_EQ(failures, 2u);
}

TEST(ChannelInbound, ChangesKeepOnlyIntegerIdsAndReachTheCallbacksTheServerServes) {
  ChannelFixture fixture;
  std::vector<std::string> calls;
  const auto inserts = fixture.channel->onPostgresChange<InsertAction>(
      "public", "todos", std::nullopt,
      [&](const InsertAction& action) { calls.push_back("insert " + action.record.at("id").description()); });
  const auto everything = fixture.channel->onPostgresChange<AnyAction>(
      "public", "todos", std::nullopt, [&](const AnyAction&) { calls.push_back("all"); });
  fixture.join(
      R"([{"id":2,"event":"*","schema":"public","table":"todos"},{"id":3,"event":"UPDATE","schema":"public","table":"todos"}])");

  fixture.channel->onMessage(change("INSERT", R"([1,"x",2])"));
  EXPECT_EQ(calls, (std::vector<std::string>{"insert 1", "all"}));
  calls.clear();
  fixture.channel->onMessage(change("UPDATE", R"([3])"));
  EXPECT_TRUE(calls.empty()) << "a \"*\" callback is not served by an UPDATE binding";
  fixture.channel->onMessage(change("INSERT", R"(["2"])"));
  EXPECT_TRUE(calls.empty()) << "a text id is no id";
}

TEST(ChannelInbound, UnreadableChangesAreLoggedAndReachNobody) {
  ChannelFixture fixture;
  int calls = 0;
  const auto token =
      fixture.channel->onPostgresChange("public", std::nullopt, std::nullopt, [&](const AnyAction&) { ++calls; });
  fixture.join(R"([{"id":1,"event":"*","schema":"public"}])");
  fixture.channel->onMessage(change("insert", "[1]"));
  fixture.channel->onMessage(testing::message("realtime:room", "postgres_changes", R"({"ids":[1]})"));
  fixture.channel->onMessage(testing::message("realtime:room", "postgres_changes", R"({"ids":[1],"data":{"type":1}})"));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(logged(*fixture.logger, "Failed: Unknown event type: insert"), 1u);
  EXPECT_EQ(logged(*fixture.logger, "Expected \"data\" key in message payload."), 1u);
}

TEST(ChannelInbound, BroadcastsNeedATextEventAndGoToMatchingCallbacks) {
  ChannelFixture fixture;
  std::vector<helpers::JSONObject> received;
  const auto token =
      fixture.channel->onBroadcast("Cursor", [&](const helpers::JSONObject& payload) { received.push_back(payload); });
  fixture.channel->onMessage(
      testing::message("realtime:room", "broadcast", R"({"type":"broadcast","event":"cursor","payload":{"x":1}})"));
  fixture.channel->onMessage(testing::message("realtime:room", "broadcast", R"({"type":"broadcast","event":3})"));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].at("payload"), helpers::AnyJSON::object({{"x", 1}}));
  EXPECT_EQ(logged(*fixture.logger, "Failed: Expected 'event' key in 'payload' for broadcast event."), 1u);
}

TEST(ChannelInbound, ACloseLeavesTheRegistryAndAnErrorChangesNoStatus) {
  ChannelFixture fixture;
  fixture.join();
  fixture.join();
  const auto joinRef = fixture.channel->joinRef();
  ASSERT_NE(joinRef, "1");
  // The close of the first join arrives only now: the channel has joined again since.
  fixture.channel->onMessage(RealtimeMessageV2("1", "9", "realtime:room", "phx_close", {}));
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::subscribed);
  EXPECT_TRUE(fixture.client->removedTopics().empty());

  fixture.channel->onMessage(testing::message("realtime:room", "phx_error", "{}"));
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::subscribed);
  ASSERT_EQ(fixture.logger->errors().size(), 1u);
  EXPECT_EQ(fixture.logger->errors()[0].message,
            "Received an error in channel realtime:room. That could be as a result of an invalid access token");

  fixture.channel->onMessage(RealtimeMessageV2(joinRef, "10", "realtime:room", "phx_close", {}));
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  EXPECT_EQ(fixture.client->removedTopics(), std::vector<std::string>{"realtime:room"});
}

TEST(ChannelInbound, PresenceStateAndDiffsReachEveryPresenceCallback) {
  ChannelFixture fixture;
  std::vector<std::pair<std::size_t, std::size_t>> seen;
  const auto token = fixture.channel->onPresenceChange(
      [&](const PresenceActionImpl& action) { seen.emplace_back(action.joins.size(), action.leaves.size()); });
  fixture.channel->onMessage(
      testing::message("realtime:room", "presence_state",
                       R"({"a":{"metas":[{"phx_ref":"1","name":"ada"}]},"b":{"metas":[{"phx_ref":"2"}]}})"));
  fixture.channel->onMessage(
      testing::message("realtime:room", "presence_diff", R"({"leaves":{"a":{"metas":[{"phx_ref":"1"}]}}})"));
  fixture.channel->onMessage(testing::message("realtime:room", "presence_state", R"({"a":{"metas":[]}})"));
  EXPECT_EQ(seen, (std::vector<std::pair<std::size_t, std::size_t>>{{2, 0}, {0, 1}}));
  std::size_t failures = 0;
  for (const auto& text : fixture.logger->messages()) failures += text.rfind("Failed: ", 0) == 0;
  EXPECT_EQ(failures, 1u) << "a presence without a phx_ref";
}

TEST(ChannelInbound, SystemMessagesSubscribeOnlyWhenOk) {
  ChannelFixture fixture;
  int calls = 0;
  const auto token = fixture.channel->onSystem([&] { ++calls; });
  fixture.channel->onMessage(testing::message("realtime:room", "system", R"({"status":"error","message":"no"})"));
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::unsubscribed);
  fixture.channel->onMessage(testing::message("realtime:room", "system", R"({"status":"ok"})"));
  EXPECT_EQ(fixture.channel->status(), RealtimeChannelStatus::subscribed);
  EXPECT_EQ(calls, 2);
  fixture.channel->onMessage(testing::message("realtime:room", "presence", "{}"));
  EXPECT_EQ(logged(*fixture.logger,
                   R"(Received message without event type: {"topic":"realtime:room","event":"presence","payload":{}})"),
            1u);
}

TEST(ChannelInbound, AChangeListenerOnAJoinedChannelIsReportedAndInert) {
  ChannelFixture fixture;
  fixture.join(R"([{"id":1,"event":"*","schema":"public"}])");
  int calls = 0;
  std::optional<helpers::ObservationToken> token;
  const auto issues = testing::reportedIssues([&] {
    token = fixture.channel->onPostgresChange("public", std::nullopt, std::nullopt, [&](const AnyAction&) { ++calls; });
  });
  EXPECT_EQ(issues, std::vector<std::string>{
                        "You cannot call postgresChange after joining the channel, this won't work as expected."});
  fixture.channel->onMessage(change("INSERT", "[1]"));
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(fixture.channel->clientChanges().empty());
  token->cancel();
  EXPECT_EQ(logged(*fixture.logger, "Removing postgres callback with id: 1"), 0u);
}

TEST(ChannelInbound, CancellingATokenRemovesItsCallbackAndLogsOnce) {
  ChannelFixture fixture;
  int calls = 0;
  const auto token = fixture.channel->onBroadcast("*", [&](const auto&) { ++calls; });
  token.cancel();
  token.cancel();
  EXPECT_EQ(logged(*fixture.logger, "Removing broadcast callback with id: 1"), 1u);
  fixture.channel->onMessage(testing::message("realtime:room", "broadcast", R"({"event":"e"})"));
  EXPECT_EQ(calls, 0);

  // Once the channel is gone a token only logs.
  auto late = fixture.channel->onSystem([] {});
  fixture.channel.reset();
  late.cancel();
  EXPECT_EQ(logged(*fixture.logger, "Removing system callback with id: 2"), 1u);
}

TEST(ChannelInbound, APresenceListenerOnAJoinedChannelRejoinsWithPresence) {
  ChannelFixture fixture;
  fixture.join();
  fixture.client->onPush([&](const RealtimeMessageV2& pushed) {
    if (pushed.event() == "phx_leave") fixture.channel->onMessage(testing::message("realtime:room", "phx_close", "{}"));
    if (pushed.event() == "phx_join") {
      fixture.channel->onMessage(testing::message("realtime:room", "system", R"({"status":"ok"})"));
    }
  });
  const auto token = fixture.channel->onPresenceChange([](const PresenceActionImpl&) {});
  ASSERT_TRUE(fixture.client->waitForPushes("phx_join", 2));
  const auto rejoin = fixture.client->pushesWithEvent("phx_join")[1];
  EXPECT_EQ(rejoin.payload().at("config").objectValue()->at("presence"),
            helpers::AnyJSON::object({{"key", ""}, {"enabled", true}}));
  EXPECT_EQ(fixture.client->pushesWithEvent("phx_leave").size(), 1u);
  EXPECT_TRUE(testing::eventually([&] { return fixture.channel->status() == RealtimeChannelStatus::subscribed; }));
}

}  // namespace
}  // namespace zirudeze::realtime
