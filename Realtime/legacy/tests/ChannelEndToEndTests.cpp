// Channels against the fake backend's legacy realtime service over real WebSocket connections.
#include "LegacyTestSupport.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeLegacyRealtime.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace zirudeze::realtime::testing {
namespace {

using velmoria::testsupport::FakeLegacyRealtime;

// What one channel heard, from the threads its callbacks run on. Its listeners hold what they write,
// so one that comes after the test let go of it writes into nothing of the test's.
class Heard {
 public:
  RealtimeChannel::Callback recorder() {
    return [record = record_](const RealtimeMessage& message) {
      std::lock_guard lock(record->mutex);
      record->payloads.push_back(Json::parse(describeJSON(message.payload())));
    };
  }
  RealtimeChannel::SubscribeCallback states() {
    return [record = record_](RealtimeSubscribeStates state, const std::optional<RealtimeError>&) {
      std::lock_guard lock(record->mutex);
      record->states.push_back(state);
    };
  }
  std::vector<Json> payloads() const {
    std::lock_guard lock(record_->mutex);
    return record_->payloads;
  }
  std::size_t subscribedCount() const {
    std::lock_guard lock(record_->mutex);
    const auto& states = record_->states;
    return static_cast<std::size_t>(std::count(states.begin(), states.end(), RealtimeSubscribeStates::subscribed));
  }

 private:
  struct Record {
    std::mutex mutex;
    std::vector<Json> payloads;
    std::vector<RealtimeSubscribeStates> states;
  };

  static std::string describeJSON(const helpers::JSONObject& object) {
    const auto bytes = Defaults::encode(helpers::AnyJSON(object));
    return std::string(bytes.begin(), bytes.end());
  }

  const std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

// On the test clock: no send, heartbeat, close or back-off waits real time, so what the socket answers is
// read as soon as it came, and what time brings comes when the test advances it.
class LegacyEndToEnd : public TestClockTimers {
 protected:
  std::shared_ptr<RealtimeClient> makeClient(const std::string& key = "anon-key") {
    return RealtimeClient::make(realtime.url(), {{"apikey", key}}, helpers::JSONObject{{"apikey", key}});
  }
  // A channel subscribed and joined.
  std::shared_ptr<RealtimeChannel> joined(RealtimeClient& client, const std::string& topic, Heard& heard,
                                          RealtimeChannelOptions options = {}) {
    auto channel = client.channel(topic, options);
    channel->on("broadcast", ChannelFilter{"*", {}, {}, {}}, heard.recorder());
    const auto before = heard.subscribedCount();
    channel->subscribe(std::nullopt, heard.states());
    EXPECT_TRUE(eventually([&] { return heard.subscribedCount() > before; }));
    return channel;
  }

  // Two clients joined to "room", each with its channel's options.
  struct Room {
    std::shared_ptr<RealtimeClient> sender;
    std::shared_ptr<RealtimeClient> receiver;
    Heard sent;
    Heard received;
    std::shared_ptr<RealtimeChannel> from;
    std::shared_ptr<RealtimeChannel> to;
  };
  Room room(RealtimeChannelOptions sending = {}, RealtimeChannelOptions receiving = {}) {
    Room made;
    made.sender = makeClient();
    made.receiver = makeClient();
    made.from = joined(*made.sender, "room", made.sent, sending);
    made.to = joined(*made.receiver, "room", made.received, receiving);
    return made;
  }

  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeWebSockets sockets{backend};
  FakeLegacyRealtime realtime{backend, sockets};
};

TEST_F(LegacyEndToEnd, AJoinOverTheSocketNumbersTheDatabaseBindings) {
  const auto client = makeClient();
  Heard heard;
  auto channel = client->channel("db");
  channel->on("postgres_changes", ChannelFilter{"*", "public", "rows", {}}, heard.recorder());
  channel->subscribe(std::nullopt, heard.states());
  ASSERT_TRUE(eventually([&] { return heard.subscribedCount() == 1; }));
  EXPECT_EQ(channel->bindings().at("postgres_changes").at(0).id, "11");

  const auto upgrade = realtime.upgrades().at(0);
  EXPECT_EQ(upgrade.path, "/realtime/v1/websocket");
  ASSERT_GE(upgrade.query.size(), 2u);
  EXPECT_EQ(upgrade.query[0], (std::pair<std::string, std::optional<std::string>>{"vsn", "2.0.0"}));
  EXPECT_EQ(upgrade.queryValue("apikey"), "anon-key");
  EXPECT_EQ(upgrade.header("X-Client-Info"), "vededore-dorod/2.41.1");

  realtime.sendToTopic("realtime:db", "postgres_changes",
                       Json::parse(R"({"ids":[11],"data":{"type":"INSERT","record":{"id":1}}})"));
  ASSERT_TRUE(eventually([&] { return heard.payloads().size() == 1; }));
  EXPECT_EQ(heard.payloads()[0]["data"]["record"]["id"], 1);
}

TEST_F(LegacyEndToEnd, BroadcastsReachOtherClientsOverTheSocketAndOverREST) {
  auto [sender, receiver, sent, received, from, to] = room();
  EXPECT_EQ(from->send(RealtimeListenTypes::broadcast, "hello", {{"text", "hi"}}), ChannelResponse::ok);
  ASSERT_TRUE(eventually([&] { return received.payloads().size() == 1; }));
  EXPECT_EQ(received.payloads()[0], Json::parse(R"({"event":"hello","text":"hi","type":"broadcast"})"));
  EXPECT_TRUE(sent.payloads().empty());

  // Not joined: the broadcast goes over REST with the socket's token.
  sender->setAuth("user-token");
  const auto idle = sender->channel("room");
  EXPECT_EQ(idle->send(RealtimeListenTypes::broadcast, "rest", {{"n", 1}}), ChannelResponse::ok);
  ASSERT_EQ(realtime.broadcasts().size(), 1u);
  const auto request = realtime.broadcasts()[0];
  EXPECT_EQ(Json::parse(request.body),
            Json::parse(
                R"({"messages":{"topic":"room","event":"rest","payload":{"type":"broadcast","event":"rest","n":1}}})"));
  EXPECT_EQ(request.header("apikey"), "user-token");
  EXPECT_EQ(request.header("Content-Type"), "application/json");
  ASSERT_TRUE(eventually([&] { return received.payloads().size() == 2; }));
  // The service hands a REST broadcast to every socket of the topic, the sender's too.
  ASSERT_TRUE(eventually([&] { return sent.payloads().size() == 1; }));

  realtime.setBroadcastStatus(400);
  EXPECT_EQ(idle->send(RealtimeListenTypes::broadcast, "rest", {}), ChannelResponse::error);
}

TEST_F(LegacyEndToEnd, ARESTBroadcastCarriesOneKeyHoweverTheSocketsHeadersSpellIt) {
  const auto client =
      RealtimeClient::make(realtime.url(), {{"Apikey", "anon-key"}, {"Authorization", "Bearer anon-key"}},
                           helpers::JSONObject{{"Apikey", "anon-key"}});
  client->setAuth("user-token");
  EXPECT_EQ(client->channel("room")->send(RealtimeListenTypes::broadcast, "rest", {}), ChannelResponse::ok);
  ASSERT_EQ(realtime.broadcasts().size(), 1u);
  EXPECT_EQ(realtime.broadcasts()[0].headerValues("apikey"), std::vector<std::string>{"user-token"});
}

// Typed sends made where an application usually makes them, inside the socket's own callbacks: each
// waits for its answer there and reports it.
TEST_F(LegacyEndToEnd, TypedSendsFromTheSubscribeCallbackReportTheirAnswers) {
  const auto client = makeClient();
  const auto room = client->channel("room", RealtimeChannelOptions{"ada", false, true});
  const auto lobby = client->channel("lobby");
  const auto presence = room->presence();
  std::mutex mutex;
  std::vector<ChannelResponse> answers;
  RealtimeChannel* const self = room.get();
  room->subscribe(std::nullopt, [&](RealtimeSubscribeStates state, const std::optional<RealtimeError>&) {
    if (state != RealtimeSubscribeStates::subscribed) return;
    const ChannelResponse tracked = self->track({{"status", "online"}});
    const ChannelResponse broadcast = self->send(RealtimeListenTypes::broadcast, "hello", {{"n", 1}});
    const ChannelResponse overREST = lobby->send(RealtimeListenTypes::broadcast, "rest", {{"n", 2}});
    std::lock_guard lock(mutex);
    answers = {tracked, broadcast, overREST};
  });
  ASSERT_TRUE(eventually([&] {
    std::lock_guard lock(mutex);
    return answers.size() == 3;
  }));
  EXPECT_EQ(answers, (std::vector<ChannelResponse>{ChannelResponse::ok, ChannelResponse::ok, ChannelResponse::ok}));

  const auto tracks = realtime.framesOf("presence");
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0].payload, Json::parse(R"({"type":"presence","event":"track","payload":{"status":"online"}})"));
  ASSERT_EQ(realtime.framesOf("broadcast").size(), 1u);
  EXPECT_EQ(realtime.framesOf("broadcast")[0].payload, Json::parse(R"({"type":"broadcast","event":"hello","n":1})"));
  ASSERT_EQ(realtime.broadcasts().size(), 1u);
  EXPECT_EQ(Json::parse(realtime.broadcasts()[0].body)["messages"]["event"], "rest");
  EXPECT_TRUE(eventually([&] { return presence->state().contains("ada"); }));
}

// The messages that come while a presence callback waits on a send are merged after it, not under it.
TEST_F(LegacyEndToEnd, APresenceCallbackThatSendsLosesNoLaterDiff) {
  Heard adaHeard;
  Heard bobHeard;
  const auto ada = makeClient();
  const auto bob = makeClient();
  const auto adaRoom = ada->channel("room", RealtimeChannelOptions{"ada", false, true});
  const auto presence = adaRoom->presence();
  RealtimeChannel* const self = adaRoom.get();
  std::atomic<int> answered = 0;
  presence->onJoin([&](const std::string& key, const std::optional<PresenceEntry>&, const PresenceEntry&) {
    if (key != "bob") return;
    // The track's diff reaches the socket before the broadcast's reply, so while this waits.
    if (self->track({}) == ChannelResponse::ok) ++answered;
    if (self->send(RealtimeListenTypes::broadcast, "seen", {}) == ChannelResponse::ok) ++answered;
  });
  adaRoom->subscribe(std::nullopt, adaHeard.states());
  ASSERT_TRUE(eventually([&] { return adaHeard.subscribedCount() == 1 && !presence->awaitingState(); }));
  const auto bobRoom = joined(*bob, "room", bobHeard, RealtimeChannelOptions{"bob", false, false});

  EXPECT_EQ(bobRoom->track({}), ChannelResponse::ok);
  ASSERT_TRUE(eventually([&] { return answered == 2; }));
  EXPECT_TRUE(eventually([&] {
    const auto seen = presence->state();
    return seen.contains("ada") && seen.contains("bob");
  }));
  EXPECT_TRUE(eventually([&] { return bobHeard.payloads().size() == 1; }));
}

// A broadcast callback that guards the application's model and sends there, while the next broadcast,
// which came before the send's reply, waits for the model: the reply still reaches the send.
TEST_F(LegacyEndToEnd, ACallbackThatLocksItsModelAndSendsGetsItsAnswerWhileTheNextBroadcastWaits) {
  auto [sender, receiver, sent, received, from, to] = room({}, RealtimeChannelOptions{std::nullopt, false, true});
  std::mutex model;
  std::mutex mutex;
  std::vector<std::string> steps;
  const auto step = [&](std::string text) {
    std::lock_guard lock(mutex);
    steps.push_back(std::move(text));
  };
  RealtimeChannel* const self = to.get();
  to->on("broadcast", ChannelFilter{"*", {}, {}, {}}, [&](const RealtimeMessage& message) {
    std::lock_guard lock(model);
    if (message.payload().at("event") != helpers::AnyJSON("first")) return step("second");
    realtime.sendToTopic("realtime:room", "broadcast", {{"event", "second"}});
    const bool answered = self->send(RealtimeListenTypes::broadcast, "echo", {}) == ChannelResponse::ok;
    step(answered ? "first answered" : "first unanswered");
  });
  EXPECT_EQ(from->send(RealtimeListenTypes::broadcast, "first", {}), ChannelResponse::ok);
  ASSERT_TRUE(eventually([&] {
    std::lock_guard lock(mutex);
    return steps.size() == 2;
  }));
  EXPECT_TRUE(to->isJoined());
  EXPECT_TRUE(receiver->isConnected());
  // The sender hears the echo and the second one too, before its listener goes.
  EXPECT_TRUE(eventually([&] { return sent.payloads().size() == 2; }));
  std::lock_guard lock(mutex);
  EXPECT_EQ(steps, (std::vector<std::string>{"first answered", "second"}));
}

TEST_F(LegacyEndToEnd, ChannelsSubscribingBackToBackShareOneLiveConnection) {
  const auto client = makeClient();
  Heard first;
  Heard second;
  client->channel("first")->subscribe(std::nullopt, first.states());
  client->channel("second")->subscribe(std::nullopt, second.states());
  ASSERT_TRUE(eventually([&] { return first.subscribedCount() == 1 && second.subscribedCount() == 1; }));
  EXPECT_TRUE(eventually([&] { return realtime.openConnectionCount() == 1; }));
  const auto joins = realtime.framesOf("phx_join");
  ASSERT_EQ(joins.size(), 2u);
  EXPECT_EQ(joins[0].connection, joins[1].connection);
}

TEST_F(LegacyEndToEnd, AfterTheServerDropsTheConnectionChannelsRejoinAndBroadcastsFlowAgain) {
  auto [sender, receiver, sent, received, from, to] = room();
  realtime.dropConnections();
  ASSERT_TRUE(eventually([&] { return from->isErrored() && to->isErrored(); }));
  advance(Defaults::reconnectSteppedBackOff(1));
  ASSERT_TRUE(eventually([&] { return sent.subscribedCount() == 2 && received.subscribedCount() == 2; }));
  EXPECT_TRUE(from->isJoined());
  EXPECT_TRUE(to->isJoined());
  EXPECT_EQ(realtime.framesOf("phx_join").size(), 4u);
  EXPECT_EQ(from->send(RealtimeListenTypes::broadcast, "again", {}), ChannelResponse::ok);
  EXPECT_TRUE(eventually([&] { return received.payloads().size() == 1; }));
}

TEST_F(LegacyEndToEnd, AfterDisconnectAndConnectAChannelJoinsAgainBeforeItBroadcasts) {
  auto [sender, receiver, sent, received, from, to] = room(RealtimeChannelOptions{std::nullopt, false, true});
  sender->disconnect();
  EXPECT_FALSE(from->isJoined());
  sender->connect();
  ASSERT_TRUE(eventually([&] { return sent.subscribedCount() == 2; }));

  EXPECT_EQ(from->send(RealtimeListenTypes::broadcast, "again", {{"n", 2}}), ChannelResponse::ok);
  ASSERT_TRUE(eventually([&] { return received.payloads().size() == 1; }));
  std::vector<std::string> onNewConnection;
  const std::size_t newConnection = realtime.connectionCount() - 1;
  for (const auto& frame : realtime.frames()) {
    if (frame.connection == newConnection && frame.topic == "realtime:room" && frame.event != "access_token") {
      onNewConnection.push_back(frame.event);
    }
  }
  EXPECT_EQ(onNewConnection, (std::vector<std::string>{"phx_join", "broadcast"}));
}

TEST_F(LegacyEndToEnd, ASilentServerIsLeftAndReconnected) {
  realtime.answerHeartbeats(false);
  const auto client = makeClient();
  std::mutex mutex;
  std::vector<std::pair<int, std::optional<std::string>>> closes;
  client->onClose([&](int code, const std::optional<std::string>& reason) {
    std::lock_guard lock(mutex);
    closes.emplace_back(code, reason);
  });
  std::atomic<int> opens = 0;
  client->onOpen([&] { ++opens; });
  client->connect();
  ASSERT_TRUE(eventually([&] { return opens == 1; }));
  advance(Defaults::heartbeatInterval);
  ASSERT_TRUE(realtime.waitForFrames("heartbeat", 1));
  advance(Defaults::heartbeatInterval);
  const auto first = sockets.waitForPeer(0);
  ASSERT_TRUE(first->waitForEnd(5s));
  ASSERT_TRUE(first->receivedClose());
  EXPECT_EQ(first->receivedClose()->code, 1000);
  EXPECT_EQ(first->receivedClose()->reason, "heartbeat timeout");
  ASSERT_TRUE(eventually([&] {
    std::lock_guard lock(mutex);
    return !closes.empty();
  }));
  EXPECT_EQ(client->closeStatus(), RealtimeClient::CloseStatus::abnormal);
  advance(Defaults::reconnectSteppedBackOff(1));
  ASSERT_TRUE(realtime.waitForConnections(2));
  EXPECT_TRUE(eventually([&] { return opens == 2; }));
  client->disconnect();
}

TEST_F(LegacyEndToEnd, TrackedPresenceReachesTheOtherClients) {
  const auto ada = makeClient();
  const auto bob = makeClient();
  Heard adaHeard;
  Heard bobHeard;
  const auto adaRoom = joined(*ada, "room", adaHeard, RealtimeChannelOptions{"ada", false, false});
  auto bobRoom = bob->channel("room", RealtimeChannelOptions{"bob", false, false});
  const auto bobPresence = bobRoom->presence();
  bobRoom->subscribe(std::nullopt, bobHeard.states());
  ASSERT_TRUE(eventually([&] { return bobHeard.subscribedCount() == 1; }));
  ASSERT_TRUE(eventually([&] { return !bobPresence->awaitingState(); }));

  EXPECT_EQ(adaRoom->track({{"status", "online"}}), ChannelResponse::ok);
  ASSERT_TRUE(eventually([&] { return bobRoom->presenceSnapshot().contains("ada"); }));
  const auto metas = bobRoom->presenceSnapshot().at("ada").at("metas");
  ASSERT_EQ(metas.size(), 1u);
  EXPECT_EQ(metas[0].at("status"), helpers::AnyJSON("online"));
  EXPECT_EQ(adaRoom->untrack(), ChannelResponse::ok);
  EXPECT_TRUE(eventually([&] { return !bobRoom->presenceSnapshot().contains("ada"); }));
}

TEST_F(LegacyEndToEnd, AServerCloseGoingAwayIsNotReconnected) {
  const auto client = makeClient();
  std::atomic<int> opens = 0;
  client->onOpen([&] { ++opens; });
  client->connect();
  ASSERT_TRUE(eventually([&] { return opens == 1; }));
  realtime.closeConnections(1001, "going away");
  ASSERT_TRUE(eventually([&] { return client->closeStatus() == RealtimeClient::CloseStatus::temporary; }));
  // Past every step of the back-off.
  advance(60.0);
  EXPECT_EQ(realtime.connectionCount(), 1u);
  EXPECT_EQ(opens, 1);
}

TEST_F(LegacyEndToEnd, APeerThatFallsSilentIsCutAfterTheHeartbeatAndRejoinedAtTheFirstStep) {
  const auto client = makeClient();
  Heard heard;
  const auto channel = client->channel("room");
  channel->subscribe(std::nullopt, heard.states());
  ASSERT_TRUE(eventually([&] { return heard.subscribedCount() == 1; }));
  // The joined channel's token push is the last thing the peer reads before it falls silent.
  ASSERT_TRUE(realtime.waitForFrames("access_token", 1));

  realtime.stopReading();
  advance(Defaults::heartbeatInterval);
  ASSERT_TRUE(realtime.waitForFrames("heartbeat", 1));
  // The heartbeat went unanswered: the close starts, and the peer never answers it.
  advance(Defaults::heartbeatInterval);
  EXPECT_TRUE(channel->isJoined());
  advance(3.0);
  ASSERT_TRUE(eventually([&] { return channel->isErrored(); }));
  EXPECT_EQ(client->closeStatus(), RealtimeClient::CloseStatus::abnormal);

  advance(Defaults::reconnectSteppedBackOff(1));
  ASSERT_TRUE(eventually([&] { return heard.subscribedCount() == 2; }));
  EXPECT_TRUE(channel->isJoined());
  EXPECT_EQ(realtime.connectionCount(), 2u);
  EXPECT_EQ(realtime.framesOf("phx_join").size(), 2u);
  client->disconnect();
}

}  // namespace
}  // namespace zirudeze::realtime::testing
