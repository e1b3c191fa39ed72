#include <algorithm>
#include <future>

#include "LegacyTestSupport.hpp"

namespace zirudeze::realtime::testing {
namespace {

using States = std::vector<std::pair<RealtimeSubscribeStates, std::optional<std::string>>>;

Json replyTo(const Json& frame, Json payload) {
  return Json::array({frame[0], frame[1], frame[2], "phx_reply", payload});
}

class LegacyChannel : public FakeSocketTest {
 protected:
  void SetUp() override {
    client = makeClient();
    transport = open(*client);
  }

  RealtimeChannel::SubscribeCallback recorder() {
    return [this](RealtimeSubscribeStates state, const std::optional<RealtimeError>& error) {
      std::lock_guard lock(mutex);
      states.emplace_back(state, error ? std::optional<std::string>(error->localizedDescription()) : std::nullopt);
    };
  }
  States recorded() {
    std::lock_guard lock(mutex);
    return states;
  }
  // The last join the transport carried, answered.
  void answerJoin(Json payload = {{"status", "ok"}, {"response", Json::object()}}) {
    transport->receive(replyTo(transport->sentOf("phx_join").back(), std::move(payload)));
  }
  std::size_t joins() const { return transport->sentOf("phx_join").size(); }

  std::shared_ptr<RealtimeClient> client;
  std::shared_ptr<FakeSocketTransport> transport;
  std::mutex mutex;
  States states;
};

TEST_F(LegacyChannel, AChannelStartsClosedAndJoinsWithItsOptions) {
  const auto channel = client->channel("room");
  EXPECT_EQ(channel->topic(), "realtime:room");
  EXPECT_EQ(channel->subTopic(), "room");
  EXPECT_EQ(channel->state(), ChannelState::closed);
  channel->subscribe();
  const auto join = transport->sentOf("phx_join").at(0);
  EXPECT_EQ(join[4],
            Json::parse(
                R"({"config":{"postgres_changes":[],"broadcast":{"ack":false,"self":false},"presence":{"key":""}}})"));
  EXPECT_EQ(join[0], join[1]) << "a join carries its own ref as join ref";
  EXPECT_TRUE(channel->isJoining());
  answerJoin();
  EXPECT_TRUE(channel->isJoined());
  EXPECT_TRUE(channel->canPush());
}

TEST_F(LegacyChannel, SubscribingADisconnectedSocketConnectsAndJoinsOnceOpen) {
  client->disconnect();
  const auto channel = client->channel("room", RealtimeChannelOptions{"me", true, true});
  channel->subscribe();
  ASSERT_EQ(transports.count(), 2u);
  transport = transports.last();
  EXPECT_TRUE(transport->sent().empty());
  transport->open();
  ASSERT_EQ(joins(), 1u);
  EXPECT_EQ(transport->sentOf("phx_join")[0][4]["config"]["broadcast"], Json::parse(R"({"ack":true,"self":true})"));
  EXPECT_EQ(transport->sentOf("phx_join")[0][4]["config"]["presence"]["key"], "me");
}

TEST_F(LegacyChannel, MisuseIsRefusedWithItsText) {
  const auto channel = client->channel("room");
  try {
    channel->push("e", {});
    FAIL() << "pushed before joining";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(),
                 "Tried to push e to realtime:room before joining. Use channel.join() before pushing events");
  }
  channel->subscribe();
  try {
    channel->subscribe();
    FAIL() << "joined twice";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(),
                 "tried to join multiple times. 'join' can only be called a single time per channel instance");
  }
  EXPECT_EQ(joins(), 1u);
}

TEST_F(LegacyChannel, TheJoinReplyNumbersTheDatabaseBindings) {
  const auto channel = client->channel("db");
  channel->on("postgres_changes", ChannelFilter{"*", "public", "rows", {}}, [](const RealtimeMessage&) {});
  channel->on("postgres_changes", ChannelFilter{"INSERT", "public", "notes", "id=eq.1"}, [](const RealtimeMessage&) {});
  channel->subscribe(std::nullopt, recorder());
  EXPECT_EQ(transport->sentOf("phx_join")[0][4]["config"]["postgres_changes"],
            Json::parse(R"([{"event":"*","schema":"public","table":"rows"},
                            {"event":"INSERT","filter":"id=eq.1","schema":"public","table":"notes"}])"));
  answerJoin(Json::parse(R"({"status":"ok","response":{"postgres_changes":[
      {"id":11,"event":"*","schema":"public","table":"rows"},
      {"id":12,"event":"INSERT","schema":"public","table":"notes","filter":"id=eq.1"}]}})"));
  const auto bindings = channel->bindings().at("postgres_changes");
  ASSERT_EQ(bindings.size(), 2u);
  EXPECT_EQ(bindings[0].id, "11");
  EXPECT_EQ(bindings[1].id, "12");
  EXPECT_EQ(recorded(), (States{{RealtimeSubscribeStates::subscribed, std::nullopt}}));
}

TEST_F(LegacyChannel, MismatchedDatabaseBindingsLeaveWithAChannelError) {
  const auto channel = client->channel("db");
  channel->on("postgres_changes", ChannelFilter{"*", "public", "rows", {}}, [](const RealtimeMessage&) {});
  channel->on("postgres_changes", ChannelFilter{"*", "public", "notes", {}}, [](const RealtimeMessage&) {});
  channel->subscribe(std::nullopt, recorder());
  answerJoin(Json::parse(R"({"status":"ok","response":{"postgres_changes":[
      {"id":11,"event":"*","schema":"public","table":"rows"},
      {"id":12,"event":"*","schema":"public","table":"other"}]}})"));
  EXPECT_EQ(recorded(), (States{{RealtimeSubscribeStates::channelError,
                                 "Mismatch between client and server bindings for postgres changes."}}));
  EXPECT_EQ(transport->sentOf("phx_leave").size(), 1u);
  EXPECT_TRUE(channel->isLeaving());
  EXPECT_FALSE(channel->bindings().at("postgres_changes")[0].id);
}

TEST_F(LegacyChannel, AJoinReplyWithoutDatabaseBindingsSubscribes) {
  const auto channel = client->channel("db");
  channel->on("postgres_changes", ChannelFilter{"*", "public", "rows", {}}, [](const RealtimeMessage&) {});
  channel->subscribe(std::nullopt, recorder());
  answerJoin();
  EXPECT_EQ(recorded(), (States{{RealtimeSubscribeStates::subscribed, std::nullopt}}));
  EXPECT_FALSE(channel->bindings().at("postgres_changes")[0].id);
}

TEST_F(LegacyChannel, AFailedJoinReportsItsPayloadAndRejoins) {
  const auto channel = client->channel("room");
  channel->subscribe(std::nullopt, recorder());
  answerJoin({{"status", "error"}, {"response", {{"reason", "unauthorized"}}}});
  EXPECT_EQ(recorded(), (States{{RealtimeSubscribeStates::channelError, "unauthorized "}}));
  EXPECT_TRUE(channel->isErrored());
  advance(1.0);
  EXPECT_EQ(joins(), 2u);
}

TEST_F(LegacyChannel, AnUnansweredJoinTimesOutLeavesAndRejoinsOnSteppedDelays) {
  const auto channel = client->channel("room");
  channel->subscribe(std::nullopt, recorder());
  advance(9.999);
  EXPECT_TRUE(recorded().empty());
  advance(0.001);
  EXPECT_EQ(recorded(), (States{{RealtimeSubscribeStates::timedOut, std::nullopt}}));
  EXPECT_EQ(transport->sentOf("phx_leave").size(), 1u);
  EXPECT_TRUE(channel->isErrored());
  EXPECT_TRUE(log.contains("LegacySocket: channel, timeout realtime:room 3 after 10.0s"));
  // Each rejoin waits for its own 10 s timeout; the delays before them grow 1, 2, 5, 10, 10 s.
  const std::vector<double> delays{1.0, 2.0, 5.0, 10.0, 10.0};
  for (std::size_t attempt = 0; attempt < delays.size(); ++attempt) {
    const std::size_t before = joins();
    advance(delays[attempt] - 0.001);
    ASSERT_EQ(joins(), before) << attempt;
    advance(0.001);
    ASSERT_EQ(joins(), before + 1) << attempt;
    if (attempt + 1 < delays.size()) advance(10.0);
  }
  answerJoin();
  EXPECT_TRUE(channel->isJoined());
  EXPECT_EQ(recorded().back().first, RealtimeSubscribeStates::subscribed);
  advance(60.0);
  EXPECT_EQ(joins(), 6u);
}

TEST_F(LegacyChannel, AJoinResentOnARejoinWaitsItsOwnTimeoutNotTheFirst) {
  const auto channel = client->channel("room");
  channel->subscribe(std::nullopt, recorder());
  const auto timeouts = [&] {
    const auto seen = recorded();
    return std::count_if(seen.begin(), seen.end(),
                         [](const auto& entry) { return entry.first == RealtimeSubscribeStates::timedOut; });
  };
  advance(4.0);
  transport->fail("connection lost");
  advance(0.01);
  transport = transports.last();
  transport->open();
  ASSERT_EQ(joins(), 1u);
  // Past the first join's deadline (10 s), the resent one still waits: it timed out 10 s after its send.
  advance(5.99);
  EXPECT_EQ(timeouts(), 0);
  EXPECT_TRUE(channel->isJoining());
  advance(4.009);
  EXPECT_EQ(timeouts(), 0);
  advance(0.001);
  EXPECT_EQ(timeouts(), 1);
  EXPECT_TRUE(channel->isErrored());
}

TEST_F(LegacyChannel, APushWhileJoiningGoesOutAfterTheJoin) {
  const auto channel = client->channel("room");
  channel->subscribe();
  const auto pushed = channel->push("note", {{"n", 1}});
  EXPECT_TRUE(transport->sentOf("note").empty());
  answerJoin();
  const auto notes = transport->sentOf("note");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0][0], transport->sentOf("phx_join")[0][0]);
  EXPECT_EQ(notes[0][1], *pushed->ref());
}

TEST_F(LegacyChannel, APushOutlastedByTheJoinTimesOutAndIsNeverSent) {
  const auto channel = client->channel("room");
  channel->subscribe(20.0);
  int timedOut = 0;
  channel->push("note", {}, 5.0)->receive(PushStatus::timeout, [&](const RealtimeMessage& message) {
    ++timedOut;
    EXPECT_EQ(message.payload(), (helpers::JSONObject{{"status", "timeout"}}));
  });
  advance(5.0);
  EXPECT_EQ(timedOut, 1);
  answerJoin();
  EXPECT_TRUE(transport->sentOf("note").empty());
  advance(10.0);
  EXPECT_EQ(timedOut, 1);
}

TEST_F(LegacyChannel, ChannelsSubscribedBackToBackShareOneLiveConnection) {
  client->disconnect();
  const auto first = client->channel("first");
  const auto second = client->channel("second");
  first->subscribe();
  second->subscribe();
  ASSERT_EQ(transports.count(), 3u);
  EXPECT_EQ(transports.at(1)->delegate(), nullptr);
  EXPECT_FALSE(transports.at(1)->disconnects().empty());
  transport = transports.last();
  transport->open();
  EXPECT_EQ(joins(), 2u);
  answerJoin();
  transport->receive(replyTo(transport->sentOf("phx_join")[0], {{"status", "ok"}, {"response", Json::object()}}));
  EXPECT_TRUE(first->isJoined());
  EXPECT_TRUE(second->isJoined());
}

TEST_F(LegacyChannel, ATransportErrorErrorsJoinedChannelsAndTheNextOpenRejoinsThem) {
  const auto channel = client->channel("room");
  channel->subscribe(std::nullopt, recorder());
  answerJoin();
  ASSERT_TRUE(channel->isJoined());
  transport->fail("connection lost");
  EXPECT_TRUE(channel->isErrored());
  EXPECT_EQ(recorded().back(), (std::pair<RealtimeSubscribeStates, std::optional<std::string>>{
                                   RealtimeSubscribeStates::channelError, "error"}));
  advance(0.01);
  transport = transports.last();
  ASSERT_EQ(transports.count(), 2u);
  transport->open();
  ASSERT_EQ(joins(), 1u);
  answerJoin();
  EXPECT_TRUE(channel->isJoined());
  EXPECT_EQ(recorded().back().first, RealtimeSubscribeStates::subscribed);
}

TEST_F(LegacyChannel, ALeaveAnswersItselfAndTheServerReplyIsIgnored) {
  const auto channel = client->channel("room");
  channel->subscribe();
  answerJoin();
  int answered = 0;
  const auto leave = channel->unsubscribe();
  leave->receive(PushStatus::ok, [&](const RealtimeMessage&) { ++answered; });
  EXPECT_EQ(answered, 1);
  EXPECT_TRUE(channel->isLeaving());
  transport->receive(replyTo(transport->sentOf("phx_leave").at(0), {{"status", "ok"}}));
  EXPECT_EQ(answered, 1);
  // Never rejoined once leaving.
  channel->rejoin();
  EXPECT_EQ(joins(), 1u);
}

TEST_F(LegacyChannel, AServerCloseRemovesTheChannel) {
  const auto channel = client->channel("room");
  channel->subscribe();
  answerJoin();
  const Json joinRef = transport->sentOf("phx_join")[0][0];
  transport->receive(Json::array({joinRef, "", "realtime:room", "phx_close", Json::object()}));
  EXPECT_TRUE(channel->isJoined()) << "a close whose ref is not the join ref is dropped";
  transport->receive(Json::array({joinRef, joinRef, "realtime:room", "phx_close", Json::object()}));
  EXPECT_TRUE(client->channels().empty());
  EXPECT_TRUE(channel->isLeaving());
}

}  // namespace
}  // namespace zirudeze::realtime::testing
