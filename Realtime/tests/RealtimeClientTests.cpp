#include <gtest/gtest.h>

#include "ClientTestSupport.hpp"
#include "concurrency/Task.hpp"
#include "realtime/RealtimeSocketURL.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::ClientTest;
using testing::Recorder;

velmoria::base::URL url(const std::string& text) { return *velmoria::base::URL::parse(text); }

TEST(RealtimeSocketURL, TheSocketURLKeepsTheQueryFirstAndCollapsesSlashes) {
  EXPECT_EQ(
      realtimeWebSocketURL(webSocketSchemeURL(url("http://h.test/realtime/v1/")), "K", std::nullopt).absoluteString(),
      "ws://h.test/realtime/v1/websocket?apikey=K&vsn=1.0.0");
  EXPECT_EQ(realtimeWebSocketURL(webSocketSchemeURL(url("https://h.test/realtime/v1?region=eu")), "K", LogLevel::warn)
                .absoluteString(),
            "wss://h.test/realtime/v1/websocket?region=eu&apikey=K&vsn=1.0.0&log_level=warn");
  EXPECT_EQ(webSocketSchemeURL(url("wss://h.test/x")).absoluteString(), "wss://h.test/x");
  EXPECT_EQ(webSocketSchemeURL(url("ftp://h.test/x")).absoluteString(), "ftp://h.test/x");
  EXPECT_EQ(realtimeWebSocketURL(url("ws://h.test"), std::nullopt, std::nullopt).absoluteString(),
            "ws://h.test/websocket?vsn=1.0.0");
}

TEST(RealtimeClientConstruction, NeedsAnApiKeyAndAddsTheClientInfo) {
  EXPECT_THROW(RealtimeClientV2::make(url("http://h.test/realtime/v1"), RealtimeClientOptions()),
               std::invalid_argument);
  const auto client = RealtimeClientV2::make(
      url("http://h.test/realtime/v1"), RealtimeClientOptions({{"Apikey", "K"}, {"Authorization", "Bearer  tok "}}));
  EXPECT_EQ(client->apikey(), "K");
  EXPECT_EQ(client->accessToken(), "tok");
  EXPECT_EQ(client->options().headers[*http::HTTPField::Name::make("X-Client-Info")], "vededore-dorod/2.41.1");
  EXPECT_EQ(client->status(), RealtimeClientStatus::disconnected);
  const auto own =
      RealtimeClientV2::make(url("http://h.test"), RealtimeClientOptions({{"apikey", "K"}, {"x-client-info", "mine"}}));
  EXPECT_EQ(own->options().headers[*http::HTTPField::Name::make("X-Client-Info")], "mine");
  EXPECT_EQ(own->accessToken(), std::nullopt);

  // The older configuration joins at most five times, whatever else it holds.
  const auto configured = RealtimeClientV2::make(
      RealtimeClientV2Configuration(url("http://h.test"), "ignored", {{"apikey", "K"}}, 1, 2, 3, true, false, nullptr));
  EXPECT_EQ(configured->options().maxRetryAttempts, 5);
  EXPECT_EQ(configured->options().heartbeatInterval, 1);
}

TEST(RealtimeClientChannels, ChannelsAreMadeOnceAndConfiguredOnce) {
  const auto client = RealtimeClientV2::make(
      url("http://h.test/realtime/v1"), RealtimeClientOptions(std::map<std::string, std::string>{{"apikey", "K"}}));
  int configured = 0;
  const auto first = client->channel(" Room", [&](RealtimeChannelConfig& config) {
    ++configured;
    config.broadcast.receiveOwnBroadcasts = true;
  });
  const auto second = client->channel(" Room", [&](RealtimeChannelConfig&) { ++configured; });
  EXPECT_EQ(first, second);
  EXPECT_EQ(configured, 1);
  EXPECT_EQ(first->topic(), "realtime: Room");
  EXPECT_TRUE(first->config().broadcast.receiveOwnBroadcasts);
  EXPECT_EQ(first->status(), RealtimeChannelStatus::unsubscribed);
  const auto other = client->channel("other");
  EXPECT_EQ(client->channels(), (std::vector<std::shared_ptr<RealtimeChannelV2>>{first, other}));
  EXPECT_EQ(client->makeRef(), "1");
  EXPECT_EQ(client->makeRef(), "2");

  // Removing channels of a client that never connected only forgets them.
  client->removeChannel(first);
  client->removeAllChannels();
  EXPECT_TRUE(client->channels().empty());
  EXPECT_EQ(client->status(), RealtimeClientStatus::disconnected);
}

TEST_F(ClientTest, TheServiceTakesOnlySocketsWithAKeyAndProtocolVersionOne) {
  const auto open = [&](const std::string& query) {
    return URLSessionWebSocket::connect(*velmoria::base::URL::parse(sockets.url("/realtime/v1/websocket" + query)));
  };
  EXPECT_THROW(open("?vsn=1.0.0"), WebSocketError);
  EXPECT_THROW(open("?apikey=k"), WebSocketError);
  EXPECT_THROW(open("?apikey=k&vsn=2.0.0"), WebSocketError);
  EXPECT_EQ(realtime.connectionCount(), 0u);
  const auto socket = open("?apikey=k&vsn=1.0.0");
  ASSERT_TRUE(realtime.waitForConnections(1));
  socket->close(1000, "done");
}

TEST_F(ClientTest, ConcurrentConnectsShareOneHandshake) {
  const auto client = makeClient();
  Recorder<RealtimeClientStatus> statuses;
  const auto token = client->onStatusChange(statuses.listener());
  gate->setOpen(false);
  const concurrency::Task<void> first([&] { client->connect(); });
  const concurrency::Task<void> second([&] { client->connect(); });
  ASSERT_TRUE(testing::eventually([&] { return gate->calls == 1; }));
  EXPECT_EQ(client->status(), RealtimeClientStatus::connecting);
  std::this_thread::sleep_for(50ms);
  gate->setOpen(true);
  first.value();
  second.value();
  EXPECT_EQ(gate->calls, 1);
  EXPECT_EQ(client->status(), RealtimeClientStatus::connected);
  client->connect();
  EXPECT_EQ(gate->calls, 1) << "connected: nothing new starts";
  ASSERT_TRUE(realtime.waitForConnections(1));
  EXPECT_EQ(realtime.connectionCount(), 1u);
  const auto upgrade = realtime.peer(0)->upgrade();
  EXPECT_EQ(upgrade.path, "/realtime/v1/websocket");
  EXPECT_EQ(upgrade.rawQuery, "apikey=project-key&vsn=1.0.0");
  EXPECT_EQ(upgrade.header("X-Client-Info"), "vededore-dorod/2.41.1");
  ASSERT_TRUE(statuses.waitForCount(3));
  EXPECT_EQ(statuses.values(),
            (std::vector<RealtimeClientStatus>{RealtimeClientStatus::disconnected, RealtimeClientStatus::connecting,
                                               RealtimeClientStatus::connected}));
}

TEST_F(ClientTest, PushesWhileConnectingGoOutInOrderOnceConnected) {
  const auto client = makeClient();
  gate->setOpen(false);
  const concurrency::Task<void> connecting([&] { client->connect(); });
  ASSERT_TRUE(testing::eventually([&] { return client->status() == RealtimeClientStatus::connecting; }));
  for (const char* event : {"first", "second", "third"}) {
    client->push(RealtimeMessageV2(std::nullopt, client->makeRef(), "realtime:x", event, {}));
  }
  gate->setOpen(true);
  connecting.value();
  ASSERT_TRUE(realtime.waitForEvent("third", 1));
  EXPECT_EQ(eventsOf(0), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(ClientTest, ADisconnectDropsWaitingPushesAndStartsTheRefsAgain) {
  const auto client = makeClient();
  gate->setOpen(false);
  const concurrency::Task<void> connecting([&] { client->connect(); });
  ASSERT_TRUE(testing::eventually([&] { return client->status() == RealtimeClientStatus::connecting; }));
  for (const char* event : {"first", "second", "third"}) {
    client->push(RealtimeMessageV2(std::nullopt, client->makeRef(), "realtime:x", event, {}));
  }
  client->disconnect();
  EXPECT_EQ(client->status(), RealtimeClientStatus::disconnected);
  EXPECT_EQ(client->makeRef(), "1");
  connecting.cancel();
  connecting.result();
  gate->setOpen(true);
  client->connect();
  client->push(RealtimeMessageV2(std::nullopt, client->makeRef(), "realtime:x", "after", {}));
  ASSERT_TRUE(realtime.waitForEvent("after", 1));
  EXPECT_EQ(eventsOf(0), std::vector<std::string>{"after"});
}

TEST_F(ClientTest, RemovingTheLastChannelWhileDisconnectedDropsThePushesWaitingForAConnection) {
  const auto client = makeClient();
  const auto channel = client->channel("room");
  EXPECT_EQ(channel->push("stale"), PushStatus::ok);
  client->removeChannel(channel);
  EXPECT_EQ(client->status(), RealtimeClientStatus::disconnected);

  client->connect();
  client->push(RealtimeMessageV2(std::nullopt, client->makeRef(), "realtime:other", "fresh", {}));
  ASSERT_TRUE(realtime.waitForEvent("fresh", 1));
  EXPECT_EQ(eventsOf(0), std::vector<std::string>{"fresh"});
}

TEST_F(ClientTest, HealthyHeartbeatsAreSentAndAcknowledged) {
  const auto client = makeClient();
  Recorder<HeartbeatStatus> beats;
  const auto token = client->onHeartbeat(beats.listener());
  client->connect();
  ASSERT_TRUE(time.waitForSleepers(1));
  time.advance(25s);
  ASSERT_TRUE(beats.waitForCount(2));
  time.advance(25s);
  ASSERT_TRUE(beats.waitForCount(4));
  EXPECT_EQ(beats.values(), (std::vector<HeartbeatStatus>{HeartbeatStatus::sent, HeartbeatStatus::ok,
                                                          HeartbeatStatus::sent, HeartbeatStatus::ok}));
  const auto heartbeats = realtime.receivedWithEvent("heartbeat");
  ASSERT_EQ(heartbeats.size(), 2u);
  EXPECT_EQ(heartbeats[0].dump(), R"({"ref":"1","topic":"phoenix","event":"heartbeat","payload":{}})");
  // The status is published just before the acknowledgement is logged.
  EXPECT_TRUE(testing::eventually([&] { return loggedStartingWith("heartbeat received") == 2; }));
  for (const auto& record : logger->records()) {
    if (record.message != "heartbeat received") continue;
    EXPECT_EQ(record.fileID, "Realtime/RealtimeClientV2.cpp");
    EXPECT_EQ(record.function, "onMessage()");
    EXPECT_EQ(record.level, helpers::ZirudezeLogLevel::debug);
  }
}

TEST_F(ClientTest, HeartbeatsRenewTheTokenThroughTheProviderAndKeepAGivenOne) {
  // A heartbeat loop parks on the clock some time after the connection opens: the clock moves only once
  // it has, and before the join, whose time limit would be counted as a sleeper too.
  const auto client = makeClient();
  client->connect();
  ASSERT_TRUE(time.waitForSleepers(1));
  const auto kept = joined(*client, "kept");
  time.advance(25s);
  ASSERT_TRUE(realtime.waitForEvent("heartbeat", 1));

  auto given = options();
  auto rotations = std::make_shared<std::atomic<int>>(0);
  given.accessToken = [rotations]() -> std::optional<std::string> {
    return "rotated-" + std::to_string(rotations->load());
  };
  const auto renewing = makeClient(given);
  renewing->connect();
  // Both loops parked: the first one's beat, with whatever it does about the token, is over.
  ASSERT_TRUE(time.waitForSleepers(2));
  EXPECT_EQ(client->accessToken(), "initial-token") << "no provider: the header's token stays";
  const auto channel = joined(*renewing, "renewing");
  ++*rotations;
  time.advance(25s);
  ASSERT_TRUE(realtime.waitForEvent("access_token", 1));
  ASSERT_TRUE(realtime.waitForEvent("heartbeat", 3));
  const auto sent = realtime.receivedWithEvent("access_token");
  ASSERT_EQ(sent.size(), 1u) << "no provider: the first client sends none";
  EXPECT_EQ(sent[0]["topic"], "realtime:renewing");
  EXPECT_EQ(sent[0]["payload"]["access_token"], "rotated-1");
}

TEST_F(ClientTest, AnUnacknowledgedHeartbeatReconnectsWithoutACloseFrame) {
  realtime.setAnswersHeartbeats(false);
  const auto client = makeClient();
  Recorder<HeartbeatStatus> beats;
  const auto token = client->onHeartbeat(beats.listener());
  client->connect();
  ASSERT_TRUE(time.waitForSleepers(1));
  time.advance(25s);
  ASSERT_TRUE(beats.waitForCount(1));
  time.advance(25s);
  ASSERT_TRUE(beats.waitForCount(2));
  EXPECT_EQ(beats.values(), (std::vector<HeartbeatStatus>{HeartbeatStatus::sent, HeartbeatStatus::timeout}));
  EXPECT_EQ(loggedStartingWith("Heartbeat timeout - previous heartbeat not acknowledged"), 1u);
  ASSERT_TRUE(realtime.peer(0)->waitForEnd(5s));
  EXPECT_FALSE(realtime.peer(0)->receivedClose()) << "the connection is cut, no reason reaches the server";
  ASSERT_TRUE(advanceUntil([&] { return realtime.connectionCount() == 2; }));
  EXPECT_TRUE(testing::eventually([&] { return client->status() == RealtimeClientStatus::connected; }));
}

TEST_F(ClientTest, AServerCloseReconnectsAfterTheDelayAndRejoinsTheJoinedChannelsInOrder) {
  const auto client = makeClient();
  const auto a = joined(*client, "a");
  // Between the two, so its turn has come and gone by the time "b" is back.
  const auto restOnly = client->channel("rest-only");
  const auto b = joined(*client, "b");
  realtime.close(4000, "bye");
  ASSERT_TRUE(testing::eventually(
      [&] { return loggedStartingWith("Closing WebSocket connection") == 1 && time.clock->suspensionCount() == 1; }));
  EXPECT_EQ(loggedStartingWith("WebSocket closed. Code: 4000, Reason: bye"), 1u);
  time.advance(6999ms);
  EXPECT_EQ(realtime.connectionCount(), 1u);
  time.advance(1ms);
  ASSERT_TRUE(realtime.waitForConnections(2));
  ASSERT_TRUE(testing::eventually([&] { return realtime.received(1).size() >= 2; }));
  const auto rejoins = realtime.received(1);
  EXPECT_EQ(rejoins[0]["topic"], "realtime:a");
  EXPECT_EQ(rejoins[1]["topic"], "realtime:b");
  EXPECT_EQ(rejoins[0]["event"], "phx_join");
  ASSERT_TRUE(testing::eventually([&] { return b->status() == RealtimeChannelStatus::subscribed; }));
  EXPECT_EQ(a->status(), RealtimeChannelStatus::subscribed);
  EXPECT_EQ(eventsOf(1), (std::vector<std::string>{"phx_join", "phx_join"})) << "the unjoined channel stays out";
  EXPECT_EQ(restOnly->status(), RealtimeChannelStatus::unsubscribed);
}

TEST_F(ClientTest, AnUndecodableFrameReconnectsAndABinaryFrameIsOnlyLogged) {
  const auto client = makeClient();
  ASSERT_TRUE(connected(*client));
  realtime.sendBinary(std::string("\x01\x02", 2));
  ASSERT_TRUE(testing::eventually([&] { return loggedStartingWith("Unsupported binary event received.") == 1; }));
  EXPECT_EQ(client->status(), RealtimeClientStatus::connected);
  realtime.sendText("not json at all");
  ASSERT_TRUE(testing::eventually([&] { return loggedStartingWith("WebSocket error ") == 1; }));
  // The reconnection's own task closes the connection.
  EXPECT_TRUE(testing::eventually([&] { return loggedStartingWith("Closing WebSocket connection") == 1; }));
  ASSERT_TRUE(advanceUntil([&] { return realtime.connectionCount() == 2; }));
  EXPECT_TRUE(testing::eventually([&] { return client->status() == RealtimeClientStatus::connected; }));
}

TEST_F(ClientTest, AFailingTransportIsRetriedEveryDelayAndLogged) {
  realtime.setRefusesConnections(true);
  const auto client = makeClient();
  Recorder<RealtimeClientStatus> statuses;
  const auto token = client->onStatusChange(statuses.listener());
  const concurrency::Task<void> connecting([&] { client->connect(); });
  ASSERT_TRUE(testing::eventually([&] { return loggedStartingWith("WebSocket error ") == 1; }));
  EXPECT_EQ(loggedStartingWith("WebSocket error connection ended unexpectedly"), 1u);
  ASSERT_TRUE(advanceUntil([&] { return loggedStartingWith("WebSocket error ") == 2; }));
  EXPECT_EQ(gate->calls, 2);
  bool trying = false;
  for (const auto& text : logger->messages()) trying |= text.find(". Trying again in 7.0") != std::string::npos;
  EXPECT_TRUE(trying);
  realtime.setRefusesConnections(false);
  ASSERT_TRUE(advanceUntil([&] { return connecting.isFinished(); }));
  const auto seen = statuses.values();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), RealtimeClientStatus::connecting), 3);
}

TEST_F(ClientTest, ATokenGoesToJoinedChannelsOnlyAndOnlyWhenItChanged) {
  const auto client = makeClient();
  const auto a = joined(*client, "a");
  const auto b = client->channel("b");
  client->setAuth("token-1");
  client->setAuth("token-1");
  ASSERT_TRUE(realtime.waitForEvent("access_token", 1));
  std::this_thread::sleep_for(50ms);
  const auto sent = realtime.receivedWithEvent("access_token");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["topic"], "realtime:a");
  EXPECT_EQ(sent[0]["payload"], (nlohmann::ordered_json{{"access_token", "token-1"}}));
  EXPECT_EQ(client->accessToken(), "token-1");
  EXPECT_EQ(loggedStartingWith("Updating auth token for channel realtime:a"), 1u);
}

TEST_F(ClientTest, AFailingProviderClearsTheTokenAndSendsNull) {
  auto given = options();
  given.accessToken = []() -> std::optional<std::string> { throw std::runtime_error("signed out"); };
  const auto client = makeClient(given);
  const auto a = joined(*client, "a");
  EXPECT_EQ(realtime.receivedWithEvent("phx_join")[0]["payload"]["access_token"], "initial-token");
  client->setAuth();
  ASSERT_TRUE(realtime.waitForEvent("access_token", 1));
  EXPECT_EQ(realtime.receivedWithEvent("access_token")[0]["payload"],
            (nlohmann::ordered_json{{"access_token", nullptr}}));
  EXPECT_EQ(client->accessToken(), std::nullopt);
}

TEST_F(ClientTest, RemovingAllChannelsLeavesEachAndDisconnectsOnce) {
  const auto client = makeClient();
  for (int i = 0; i < 5; ++i) joined(*client, "room-" + std::to_string(i));
  client->removeAllChannels();
  EXPECT_TRUE(client->channels().empty());
  EXPECT_EQ(loggedStartingWith("Closing WebSocket connection"), 1u);
  EXPECT_EQ(loggedStartingWith("No more subscribed channel in socket"), 1u);
  EXPECT_EQ(client->status(), RealtimeClientStatus::disconnected);
  EXPECT_EQ(realtime.receivedWithEvent("phx_leave").size(), 5u);
  client->removeAllChannels();
  EXPECT_EQ(loggedStartingWith("Closing WebSocket connection"), 1u);
}

TEST_F(ClientTest, DatabaseChangesAndBroadcastsReachCallbacksAndStreams) {
  const auto client = makeClient();
  const auto channel = client->channel("todos", [](RealtimeChannelConfig& config) {
    config.broadcast.receiveOwnBroadcasts = true;
    config.broadcast.acknowledgeBroadcasts = true;
  });
  Recorder<std::string> seen;
  const auto inserts = channel->onPostgresChange<InsertAction>(
      "public", "todos", std::nullopt,
      [record = seen.listener()](const InsertAction& action) { record(action.record.at("title").description()); });
  const auto updates = channel->postgresChange<UpdateAction>("public", "todos");
  const auto broadcasts = channel->broadcastStream("ping");
  channel->subscribeWithError();
  ASSERT_EQ(channel->status(), RealtimeChannelStatus::subscribed);

  EXPECT_EQ(realtime.sendChange({"INSERT", "todos", {{"id", 1}, {"title", "write"}}}), 1u);
  EXPECT_EQ(realtime.sendChange({"UPDATE", "todos", {{"id", 1}, {"title", "done"}}, {{"id", 1}}}), 1u);
  EXPECT_EQ(realtime.sendChange({"INSERT", "other", {{"id", 2}}}), 0u);
  ASSERT_TRUE(seen.waitForCount(1));
  EXPECT_EQ(seen.values(), std::vector<std::string>{"write"});
  EXPECT_EQ(updates.next()->record.at("title"), helpers::AnyJSON("done"));

  EXPECT_EQ(
      channel->push("broadcast", std::nullopt,
                    helpers::JSONObject{{"type", "broadcast"}, {"event", "ping"}, {"payload", helpers::JSONObject{}}}),
      PushStatus::ok);
  EXPECT_EQ(broadcasts.next()->at("event"), helpers::AnyJSON("ping"));
}

TEST_F(ClientTest, PresenceTrackingComesBackAsDiffs) {
  const auto client = makeClient();
  const auto channel = client->channel("lobby", [](RealtimeChannelConfig& config) { config.presence.key = "ada"; });
  const auto presence = channel->presenceChangeStream();
  channel->subscribeWithError();
  EXPECT_TRUE(presence.next()->joins.empty()) << "the state on joining";
  channel->track(testing::json(R"({"mood":"calm"})"));
  const auto joinedDiff = presence.next();
  ASSERT_EQ(joinedDiff->joins.count("ada"), 1u);
  EXPECT_EQ(joinedDiff->joins.at("ada").state.at("mood"), helpers::AnyJSON("calm"));
  channel->untrack();
  EXPECT_EQ(presence.next()->leaves.count("ada"), 1u);
}

}  // namespace
}  // namespace zirudeze::realtime
