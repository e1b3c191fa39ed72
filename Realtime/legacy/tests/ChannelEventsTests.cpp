#include <future>

#include "LegacyTestSupport.hpp"

namespace zirudeze::realtime::testing {
namespace {

Json replyTo(const Json& frame, Json payload) {
  return Json::array({frame[0], frame[1], frame[2], "phx_reply", payload});
}

RealtimeMessage message(std::string event, helpers::JSONObject payload, std::string ref = "",
                        std::optional<std::string> joinRef = std::nullopt) {
  return RealtimeMessage{std::move(ref), std::move(joinRef), "realtime:room", std::move(event), std::move(payload)};
}

class LegacyChannelEvents : public FakeSocketTest {
 protected:
  void SetUp() override {
    client = makeClient();
    transport = open(*client);
    channel = client->channel("room");
  }

  // Subscribes and answers the join with `response`.
  void join(Json response = Json::object()) {
    channel->subscribe();
    transport->receive(replyTo(transport->sentOf("phx_join").back(), {{"status", "ok"}, {"response", response}}));
    ASSERT_TRUE(channel->isJoined());
  }

  // A binding that records its name when called.
  RealtimeChannel::Callback record(std::string name) {
    return [this, name](const RealtimeMessage&) { calls.push_back(name); };
  }

  std::shared_ptr<RealtimeClient> client;
  std::shared_ptr<FakeSocketTransport> transport;
  std::shared_ptr<RealtimeChannel> channel;
  std::vector<std::string> calls;
};

TEST_F(LegacyChannelEvents, EventsAreKeyedLowerCaseAndTypedFiltersCompareLowerCase) {
  channel->on("Broadcast", ChannelFilter{"MixedCase", {}, {}, {}}, record("mixed"));
  channel->on("broadcast", ChannelFilter{"other", {}, {}, {}}, record("other"));
  channel->on("broadcast", ChannelFilter{}, record("no event"));
  const auto bindings = channel->bindings().at("broadcast");
  ASSERT_EQ(bindings.size(), 3u);
  EXPECT_EQ(bindings[0].type, "broadcast");
  EXPECT_EQ(bindings[0].filter, (std::map<std::string, std::string>{{"event", "MixedCase"}}));
  channel->trigger(message("broadcast", {{"event", "MIXEDCASE"}}));
  EXPECT_EQ(calls, std::vector<std::string>{"mixed"});
  channel->trigger(message("broadcast", {}));
  EXPECT_EQ(calls, (std::vector<std::string>{"mixed", "no event"}));
}

TEST_F(LegacyChannelEvents, LifecycleMessagesNeedTheirRefToBeTheirJoinRef) {
  channel->onClose(record("close"));
  channel->onError(record("error"));
  channel->trigger(message("phx_close", {}, "", "7"));
  channel->trigger(message("phx_close", {}, "7"));
  channel->trigger(message("phx_error", {}, "8", "7"));
  EXPECT_TRUE(calls.empty());
  channel->trigger(message("phx_close", {}, "7", "7"));
  EXPECT_EQ(calls, std::vector<std::string>{"close"});
}

TEST_F(LegacyChannelEvents, ChangeEventsReachStarAndTheirOwnLowerCaseName) {
  channel->on("postgres_changes", ChannelFilter{"*", "public", {}, {}}, record("star"));
  channel->on("postgres_changes", ChannelFilter{"insert", "public", {}, {}}, record("insert"));
  channel->on("postgres_changes", ChannelFilter{"INSERT", "public", {}, {}}, record("INSERT"));
  channel->on("postgres_changes", ChannelFilter{"delete", "public", {}, {}}, record("delete"));
  channel->on("postgres_changes", ChannelFilter{{}, "public", {}, {}}, record("no event"));
  channel->trigger(message("INSERT", {{"record", helpers::JSONObject{{"id", 1}}}}));
  EXPECT_EQ(calls, (std::vector<std::string>{"star", "insert"}));
}

TEST_F(LegacyChannelEvents, ChangesWithIdsReachTheBindingsTheServerNumbered) {
  channel->on("postgres_changes", ChannelFilter{"update", "public", "rows", {}}, record("update 12"));
  channel->on("postgres_changes", ChannelFilter{"*", "public", "rows", {}}, record("star 12"));
  channel->on("postgres_changes", ChannelFilter{"update", "public", "rows", {}}, record("update 11"));
  join(Json::parse(R"({"postgres_changes":[
      {"id":12,"event":"update","schema":"public","table":"rows"},
      {"id":12,"event":"*","schema":"public","table":"rows"},
      {"id":11,"event":"update","schema":"public","table":"rows"}]})"));
  const auto change = [](helpers::AnyJSON ids, std::string type) {
    return message("postgres_changes", {{"ids", std::move(ids)}, {"data", helpers::JSONObject{{"type", type}}}});
  };
  channel->trigger(change(helpers::JSONArray{12}, "UPDATE"));
  EXPECT_EQ(calls, (std::vector<std::string>{"update 12", "star 12"}));
  calls.clear();
  channel->trigger(change(helpers::JSONArray{12}, "DELETE"));
  EXPECT_EQ(calls, std::vector<std::string>{"star 12"});
  calls.clear();
  channel->trigger(change(helpers::JSONArray{12, "x"}, "UPDATE"));
  channel->trigger(change("12", "UPDATE"));
  EXPECT_TRUE(calls.empty());
}

TEST_F(LegacyChannelEvents, OffRemovesOnlyTheBindingsOfThatFilter) {
  channel->on("broadcast", ChannelFilter{}, record("plain"));
  channel->on("broadcast", ChannelFilter{"*", {}, {}, {}}, record("star"));
  channel->on("BROADCAST", ChannelFilter{}, record("plain too"));
  channel->off("broadcast", {});
  const auto left = channel->bindings().at("broadcast");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].filter.at("event"), "*");
}

TEST_F(LegacyChannelEvents, AMessageHookIsKeptButNotApplied) {
  int hooked = 0;
  channel->setOnMessage([&](const RealtimeMessage& given) {
    ++hooked;
    return given;
  });
  channel->on("custom", ChannelFilter{}, record("custom"));
  channel->trigger(message("custom", {}));
  EXPECT_EQ(calls, std::vector<std::string>{"custom"});
  EXPECT_EQ(hooked, 0);
  EXPECT_TRUE(channel->onMessage());
}

TEST_F(LegacyChannelEvents, BroadcastsWithoutAcknowledgementsAreOkAtOnce) {
  join();
  EXPECT_EQ(channel->send(RealtimeListenTypes::broadcast, "e", {{"x", 1}}), ChannelResponse::ok);
  const auto sent = transport->sentOf("broadcast");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0][4], Json::parse(R"({"type":"broadcast","event":"e","x":1})"));
}

TEST_F(LegacyChannelEvents, AcknowledgedSendsWaitForTheirReply) {
  channel = client->channel("acked", RealtimeChannelOptions{std::nullopt, false, true});
  join();
  auto answer = std::async(std::launch::async, [&] { return channel->send(RealtimeListenTypes::broadcast, "e", {}); });
  ASSERT_TRUE(eventually([&] { return transport->sentOf("broadcast").size() == 1; }));
  EXPECT_EQ(answer.wait_for(20ms), std::future_status::timeout);
  transport->receive(replyTo(transport->sentOf("broadcast")[0], {{"status", "ok"}}));
  EXPECT_EQ(answer.get(), ChannelResponse::ok);

  auto refused = std::async(std::launch::async, [&] { return channel->track({{"name", "ada"}}); });
  ASSERT_TRUE(eventually([&] { return transport->sentOf("presence").size() == 1; }));
  EXPECT_EQ(transport->sentOf("presence")[0][4],
            Json::parse(R"({"type":"presence","event":"track","payload":{"name":"ada"}})"));
  transport->receive(replyTo(transport->sentOf("presence")[0], {{"status", "error"}}));
  EXPECT_EQ(refused.get(), ChannelResponse::error);
}

TEST_F(LegacyChannelEvents, ASendWithoutAnswerTimesOutAndOneWithoutStatusFails) {
  join();
  auto silent = std::async(std::launch::async, [&] { return channel->untrack({{"timeout", 2.0}}); });
  ASSERT_TRUE(eventually([&] { return transport->sentOf("presence").size() == 1; }));
  EXPECT_EQ(transport->sentOf("presence")[0][4], Json::parse(R"({"type":"presence","event":"untrack"})"));
  advance(2.0);
  EXPECT_EQ(silent.get(), ChannelResponse::timedOut);

  auto statusless = std::async(std::launch::async, [&] { return channel->untrack(); });
  ASSERT_TRUE(eventually([&] { return transport->sentOf("presence").size() == 2; }));
  transport->receive(replyTo(transport->sentOf("presence")[1], {{"response", Json::object()}}));
  EXPECT_EQ(statusless.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(statusless.get(), ChannelResponse::error);
}

TEST_F(LegacyChannelEvents, ASendWaitsNoLongerThanItsTimeoutWhileTheChannelJoins) {
  channel->subscribe(30.0);
  ASSERT_EQ(timers.queue()->pendingCount(), 1u);
  auto waiting = std::async(std::launch::async, [&] { return channel->track({}, {{"timeout", 3.0}}); });
  // The push's timeout waits on the timer queue; the caller waits for its own limit on the clock, beside
  // the queue's thread.
  ASSERT_TRUE(eventually([&] { return timers.queue()->pendingCount() == 2 && clock->suspensionCount() == 2; }));
  advance(2.0);
  transport->receive(replyTo(transport->sentOf("phx_join").back(), {{"status", "ok"}, {"response", Json::object()}}));
  // Sent once joined, its own timeout running again from there; the caller's wait ends at 3 s.
  ASSERT_EQ(transport->sentOf("presence").size(), 1u);
  advance(1.0);
  EXPECT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), ChannelResponse::timedOut);
}

TEST_F(LegacyChannelEvents, ASendWhoseSocketIsGoneFailsAtOnce) {
  join();
  auto orphan = client->channel("orphan");
  orphan->subscribe();
  client.reset();
  transport.reset();
  EXPECT_EQ(orphan->track({}), ChannelResponse::error);
  EXPECT_EQ(orphan->send(RealtimeListenTypes::broadcast, "e", {}), ChannelResponse::error);
}

TEST_F(LegacyChannelEvents, AWholeNumberOfSecondsIsATimeoutToo) {
  join();
  auto waiting = std::async(std::launch::async, [&] { return channel->track({}, {{"timeout", 2}}); });
  ASSERT_TRUE(eventually([&] { return transport->sentOf("presence").size() == 1; }));
  advance(1.999);
  EXPECT_EQ(waiting.wait_for(20ms), std::future_status::timeout);
  advance(0.001);
  const bool answered = waiting.wait_for(5s) == std::future_status::ready;
  // A send that took the default instead still has to end before the test does.
  if (!answered) advance(Defaults::timeoutInterval);
  EXPECT_TRUE(answered);
  EXPECT_EQ(waiting.get(), ChannelResponse::timedOut);
}

TEST(LegacyBroadcastEndpoint, TheRESTURLFollowsTheSocketEndpoint) {
  FakeTransports transports;
  const auto urlFor = [&](const std::string& endPoint) {
    const auto client = RealtimeClient::make(endPoint, {}, transports.factory(), nullptr);
    return client->channel("room")->broadcastEndpointURL()->absoluteString();
  };
  EXPECT_EQ(urlFor("wss://h/socket/websocket/"), "https://h/api/broadcast");
  EXPECT_EQ(urlFor("https://h/realtime/v1"), "https://h/realtime/v1/api/broadcast");
  EXPECT_EQ(urlFor("ws://h/realtime/v1/websocket"), "http://h/realtime/v1/api/broadcast");
  EXPECT_EQ(urlFor("https://h/realtime/v1//"), "https://h/realtime/v1/api/broadcast");
}

}  // namespace
}  // namespace zirudeze::realtime::testing
