#include "LegacyTestSupport.hpp"

namespace zirudeze::realtime::testing {
namespace {

using CloseStatus = RealtimeClient::CloseStatus;
using Closes = std::vector<std::pair<int, std::optional<std::string>>>;

class LegacyConnection : public FakeSocketTest {
 protected:
  // Records every close callback.
  void recordCloses(RealtimeClient& client) {
    client.onClose([this](int code, const std::optional<std::string>& reason) {
      std::lock_guard lock(mutex);
      closes.emplace_back(code, reason);
    });
  }
  Closes recordedCloses() {
    std::lock_guard lock(mutex);
    return closes;
  }

  std::mutex mutex;
  Closes closes;
};

TEST(LegacyCloseStatus, CodesAndReconnects) {
  EXPECT_EQ(RealtimeClient::closeStatusFor(999), CloseStatus::abnormal);
  EXPECT_EQ(RealtimeClient::closeStatusFor(1001), CloseStatus::temporary);
  EXPECT_EQ(RealtimeClient::closeStatusFor(1000), CloseStatus::clean);
  EXPECT_EQ(RealtimeClient::closeStatusFor(4000), CloseStatus::clean);
  EXPECT_EQ(RealtimeClient::updatedCloseStatus(CloseStatus::abnormal, 1000), CloseStatus::abnormal);
  EXPECT_EQ(RealtimeClient::updatedCloseStatus(CloseStatus::unknown, 1001), CloseStatus::temporary);
  EXPECT_TRUE(RealtimeClient::shouldReconnect(CloseStatus::unknown));
  EXPECT_TRUE(RealtimeClient::shouldReconnect(CloseStatus::abnormal));
  EXPECT_FALSE(RealtimeClient::shouldReconnect(CloseStatus::clean));
  EXPECT_FALSE(RealtimeClient::shouldReconnect(CloseStatus::temporary));
  EXPECT_EQ(RealtimeClient::makeCloseCode(1001), RealtimeClient::CloseCode::goingAway);
  EXPECT_EQ(RealtimeClient::makeCloseCode(1002), std::nullopt);
}

TEST_F(LegacyConnection, ADisconnectIsCleanAndNeverReconnects) {
  const auto client = makeClient();
  recordCloses(*client);
  const auto transport = open(*client);
  EXPECT_TRUE(client->isConnected());
  client->disconnect();
  EXPECT_EQ(client->closeStatus(), CloseStatus::clean);
  EXPECT_EQ(transport->disconnects(), (Closes{{1000, std::nullopt}}));
  EXPECT_EQ(recordedCloses(), (Closes{{1000, std::nullopt}}));
  EXPECT_EQ(client->connectionState(), SocketTransportReadyState::closed);
  // The transport's own close report reaches nobody.
  transport->close(1000);
  advance(10.0);
  EXPECT_EQ(transports.count(), 1u);
  EXPECT_EQ(recordedCloses().size(), 1u);
}

TEST_F(LegacyConnection, OnlyAbnormalOrUnexplainedClosesReconnect) {
  const auto client = makeClient();
  open(*client)->close(1001);
  EXPECT_EQ(client->closeStatus(), CloseStatus::temporary);
  advance(10.0);
  EXPECT_EQ(transports.count(), 1u);

  open(*client)->close(1000);
  EXPECT_EQ(client->closeStatus(), CloseStatus::clean);
  advance(10.0);
  EXPECT_EQ(transports.count(), 2u);

  open(*client)->fail("connection lost");
  EXPECT_EQ(client->closeStatus(), CloseStatus::abnormal);
  advance(0.01);
  EXPECT_EQ(transports.count(), 4u);
  EXPECT_EQ(transports.last()->connects(), 1);
}

TEST_F(LegacyConnection, ReconnectsFollowTheSteppedDelaysUntilAnOpen) {
  const auto client = makeClient();
  recordCloses(*client);
  client->connect();
  const std::vector<double> delays{0.01, 0.05, 0.1, 0.15, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0, 5.0};
  for (std::size_t attempt = 0; attempt < delays.size(); ++attempt) {
    transports.last()->close(999, "lost");
    const std::size_t before = transports.count();
    advance(delays[attempt] - 0.001);
    ASSERT_EQ(transports.count(), before) << "attempt " << attempt;
    advance(0.001);
    ASSERT_EQ(transports.count(), before + 1) << "attempt " << attempt;
    EXPECT_EQ(recordedCloses().back(), (std::pair<int, std::optional<std::string>>{1000, "reconnection"}));
  }
  EXPECT_TRUE(log.contains("LegacySocket: Socket reconnecting in 0.01s"));
  EXPECT_TRUE(log.contains("LegacySocket: Socket reconnecting in 5.0s"));
  EXPECT_TRUE(log.contains("LegacySocket: Socket attempting to reconnect"));

  transports.last()->open();
  transports.last()->close(999);
  advance(0.01);
  EXPECT_EQ(transports.count(), delays.size() + 2);
}

TEST_F(LegacyConnection, TwoSilentHeartbeatsCloseTheSocketAndItReconnects) {
  const auto client = makeClient();
  client->setSkipHeartbeat(false);
  recordCloses(*client);
  const auto transport = open(*client);
  advance(30.0);
  const auto heartbeat = transport->sentOf("heartbeat").at(0);
  EXPECT_EQ(heartbeat[0], nullptr);
  EXPECT_EQ(heartbeat[2], "phoenix");
  advance(30.0);
  EXPECT_EQ(transport->disconnects(), (Closes{{1000, "heartbeat timeout"}}));
  EXPECT_EQ(client->closeStatus(), CloseStatus::abnormal);
  EXPECT_TRUE(log.contains("LegacySocket: transport, heartbeat timeout. Attempting to re-establish connection"));
  // The server's answer to the close frame says 1000; the socket still counts it abnormal.
  transport->close(1000, "heartbeat timeout");
  EXPECT_EQ(client->closeStatus(), CloseStatus::abnormal);
  advance(0.01);
  EXPECT_EQ(transports.count(), 2u);
}

TEST_F(LegacyConnection, AReplyOnAnyTopicWithThePendingRefKeepsTheSocket) {
  const auto client = makeClient();
  client->setSkipHeartbeat(false);
  const auto transport = open(*client);
  for (int beat = 0; beat < 3; ++beat) {
    advance(30.0);
    const auto ref = transport->sentOf("heartbeat").back()[1];
    transport->receive(Json::array({nullptr, ref, "realtime:elsewhere", "phx_reply", {{"status", "ok"}}}));
  }
  EXPECT_TRUE(transport->disconnects().empty());
  EXPECT_EQ(transport->sentOf("heartbeat").size(), 3u);
}

TEST_F(LegacyConnection, AHeartbeatWhileClosedSendsNothing) {
  const auto client = makeClient();
  client->sendHeartbeat();
  client->connect();
  client->sendHeartbeat();
  const auto transport = transports.last();
  EXPECT_TRUE(transport->sent().empty());
  transport->open();
  // Nothing was pending: the first tick after the open sends, it does not time out.
  client->sendHeartbeat();
  EXPECT_EQ(transport->sentOf("heartbeat").size(), 1u);
  EXPECT_TRUE(transport->disconnects().empty());
}

TEST_F(LegacyConnection, PushesBeforeTheOpenGoOutInOrderBeforeTheOpenCallbacks) {
  const auto client = makeClient();
  std::vector<std::string> sentAtOpen;
  client->onOpen([&] { sentAtOpen = transports.last()->sent(); });
  client->push("realtime:a", "first", {}, "1");
  client->push("realtime:a", "dropped", {}, "2");
  client->push("realtime:a", "second", {{"n", 2}}, std::nullopt, "9");
  client->push("realtime:a", "dropped too", {}, "2");
  client->removeFromSendBuffer("2");
  open(*client);
  EXPECT_EQ(sentAtOpen, (std::vector<std::string>{R"([null,"1","realtime:a","first",{}])",
                                                  R"(["9",null,"realtime:a","second",{"n":2}])"}));
}

TEST_F(LegacyConnection, OutdatedLifecycleMessagesAreDroppedAndOthersDelivered) {
  const auto client = makeClient();
  const auto transport = open(*client);
  const auto channel = client->channel("room");
  channel->subscribe();
  const auto joinRef = *channel->joinRef();
  std::vector<std::string> seen;
  channel->on("phx_reply", ChannelFilter{}, [&](const RealtimeMessage& message) { seen.push_back(message.event); });
  channel->on("broadcast", ChannelFilter{"*", {}, {}, {}},
              [&](const RealtimeMessage& message) { seen.push_back(message.event); });
  std::vector<std::string> heard;
  client->onMessage([&](const RealtimeMessage& message) { heard.push_back(message.event); });

  transport->receive(Json::array({"stale", "77", "realtime:room", "phx_reply", {{"status", "ok"}}}));
  transport->receive(Json::array({"stale", nullptr, "realtime:room", "broadcast", {{"event", "e"}}}));
  EXPECT_EQ(seen, std::vector<std::string>{"broadcast"});
  EXPECT_EQ(heard, (std::vector<std::string>{"phx_reply", "broadcast"}));
  EXPECT_TRUE(log.containsText("LegacySocket: channel, dropping outdated message, realtime:room, phx_reply"));
  EXPECT_TRUE(channel->isJoining()) << "the stale reply answered nothing";
  transport->receive(Json::array({joinRef, joinRef, "realtime:room", "phx_reply", {{"status", "ok"}}}));
  EXPECT_TRUE(channel->isJoined());
}

TEST_F(LegacyConnection, UnreadableFramesAreLoggedAndDropped) {
  const auto client = makeClient();
  const auto transport = open(*client);
  int messages = 0;
  client->onMessage([&](const RealtimeMessage&) { ++messages; });
  transport->receive(std::string("not json"));
  transport->receive(std::string(R"({"event":"phx_reply"})"));
  transport->receive(std::string(R"([null,null,"t","e"])"));
  EXPECT_EQ(messages, 0);
  EXPECT_TRUE(log.contains("LegacySocket: receive: Unable to parse JSON: not json"));
  EXPECT_TRUE(client->isConnected());
}

TEST_F(LegacyConnection, ConnectingAgainLetsGoOfATransportStillOpening) {
  const auto client = makeClient();
  recordCloses(*client);
  client->connect();
  const auto first = transports.last();
  client->connect();
  const auto second = transports.last();
  ASSERT_NE(first, second);
  EXPECT_EQ(first->delegate(), nullptr);
  EXPECT_EQ(first->disconnects(), (Closes{{1000, std::nullopt}}));
  // Its late reports reach nobody: no reconnect, no close callback.
  first->close(999);
  advance(1.0);
  EXPECT_EQ(transports.count(), 2u);
  EXPECT_TRUE(recordedCloses().empty());
  second->open();
  client->connect();
  EXPECT_EQ(transports.count(), 2u) << "an open socket stays";
}

TEST_F(LegacyConnection, LogLinesHideTokens) {
  const auto client = makeClient();
  const auto transport = open(*client);
  const std::string token = "user-token-with-more-than-sixteen-characters";
  const auto channel = client->channel("room");
  client->setAuth(token);
  channel->subscribe();
  transport->receive(Json::array({nullptr, nullptr, "realtime:room", "echo", {{"access_token", token}}}));
  ASSERT_TRUE(log.containsText("LegacySocket: push, Sending"));
  ASSERT_TRUE(log.containsText("LegacySocket: receive , "));
  EXPECT_FALSE(log.containsText(token));
  EXPECT_NE(transport->sentOf("phx_join").at(0)[4]["user_token"], nullptr);
}

}  // namespace
}  // namespace zirudeze::realtime::testing
