#include "LegacyTestSupport.hpp"

namespace zirudeze::realtime::testing {
namespace {

Json replyTo(const Json& frame, Json payload) {
  return Json::array({frame[0], frame[1], frame[2], "phx_reply", payload});
}

// Pushes on a joined channel of an open socket.
class LegacyPush : public FakeSocketTest {
 protected:
  void SetUp() override {
    client = makeClient();
    transport = open(*client);
    channel = client->channel("room");
    channel->subscribe();
    transport->receive(replyTo(transport->sentOf("phx_join").at(0), {{"status", "ok"}, {"response", Json::object()}}));
    ASSERT_TRUE(channel->isJoined());
  }

  std::shared_ptr<RealtimeClient> client;
  std::shared_ptr<FakeSocketTransport> transport;
  std::shared_ptr<RealtimeChannel> channel;
};

TEST_F(LegacyPush, ASendTakesTheNextRefOfTheSocket) {
  client->setRef(4);
  const auto pushed = channel->push("note", {{"n", 1}});
  EXPECT_EQ(pushed->ref(), "5");
  EXPECT_EQ(pushed->refEvent(), "chan_reply_5");
  EXPECT_TRUE(pushed->sent());
  const auto frame = transport->sentOf("note").at(0);
  EXPECT_EQ(frame, Json::array({*channel->joinRef(), "5", "realtime:room", "note", {{"n", 1}}}));
}

TEST_F(LegacyPush, RepliesRunTheHooksOfTheirStatusAndLateHooksRunAtOnce) {
  const auto pushed = channel->push("note", {});
  std::vector<std::string> ran;
  pushed->receive(PushStatus::ok,
                  [&](const RealtimeMessage& reply) { ran.push_back("ok " + describe(reply.payload())); });
  pushed->receive(PushStatus::error, [&](const RealtimeMessage&) { ran.push_back("error"); });
  transport->receive(replyTo(transport->sentOf("note").at(0), {{"status", "ok"}, {"response", {{"x", 1}}}}));
  EXPECT_EQ(ran, std::vector<std::string>{R"(ok ["x": 1])"});
  EXPECT_TRUE(pushed->hasReceived(PushStatus::ok));

  pushed->receive(PushStatus::ok, [&](const RealtimeMessage&) { ran.push_back("late"); });
  EXPECT_EQ(ran.back(), "late");
  // Both stay for the next send's reply.
  pushed->resend(5.0);
  transport->receive(replyTo(transport->sentOf("note").at(1), {{"status", "ok"}}));
  EXPECT_EQ(ran.size(), 4u);
  EXPECT_EQ(ran.back(), "late");
}

TEST_F(LegacyPush, ATimeoutAnswersOnceAndALaterReplyRunsNothing) {
  const auto pushed = channel->push("note", {}, 2.0);
  int timeouts = 0;
  int oks = 0;
  pushed->receive(PushStatus::timeout, [&](const RealtimeMessage& message) {
    ++timeouts;
    EXPECT_EQ(message.rawPayload, (helpers::JSONObject{{"status", "timeout"}}));
  });
  pushed->receive(PushStatus::ok, [&](const RealtimeMessage&) { ++oks; });
  advance(1.999);
  EXPECT_EQ(timeouts, 0);
  advance(0.001);
  EXPECT_EQ(timeouts, 1);
  transport->receive(replyTo(transport->sentOf("note").at(0), {{"status", "ok"}}));
  advance(10.0);
  EXPECT_EQ(timeouts, 1);
  EXPECT_EQ(oks, 0);
  // Nothing goes out again while the timeout stands.
  pushed->send();
  EXPECT_EQ(transport->sentOf("note").size(), 1u);
}

TEST_F(LegacyPush, AResendAfterATimeoutTakesANewRefAndTimeout) {
  const auto pushed = channel->push("note", {}, 2.0);
  std::vector<std::string> ran;
  pushed->receive(PushStatus::timeout, [&](const RealtimeMessage&) { ran.push_back("timeout"); });
  pushed->receive(PushStatus::ok, [&](const RealtimeMessage&) { ran.push_back("ok"); });
  advance(2.0);
  const auto firstRef = pushed->ref();
  pushed->resend(5.0);
  EXPECT_NE(pushed->ref(), firstRef);
  EXPECT_EQ(pushed->timeout(), 5.0);
  advance(4.999);
  EXPECT_EQ(ran, std::vector<std::string>{"timeout"});
  transport->receive(replyTo(transport->sentOf("note").at(1), {{"status", "ok"}}));
  EXPECT_EQ(ran, (std::vector<std::string>{"timeout", "ok"}));
  advance(1.0);
  EXPECT_EQ(ran.size(), 2u);
}

TEST_F(LegacyPush, AReplyWithoutAStatusStopsTheTimeoutAndRunsNothing) {
  const auto pushed = channel->push("note", {}, 2.0);
  int hooks = 0;
  for (const auto status : {PushStatus::ok, PushStatus::error, PushStatus::timeout}) {
    pushed->receive(status, [&](const RealtimeMessage&) { ++hooks; });
  }
  transport->receive(replyTo(transport->sentOf("note").at(0), {{"status", "OK"}}));
  advance(5.0);
  EXPECT_EQ(hooks, 0);
  EXPECT_TRUE(pushed->receivedMessage());
}

TEST_F(LegacyPush, APushOfAChannelThatIsGoneSendsNothingAndNeverTimesOut) {
  auto other = client->channel("gone");
  const auto pushed = Push::make(other, "note", {}, 1.0);
  int timeouts = 0;
  pushed->receive(PushStatus::timeout, [&](const RealtimeMessage&) { ++timeouts; });
  client->remove(other);
  other.reset();
  transport->clearSent();
  pushed->send();
  EXPECT_TRUE(pushed->sent());
  EXPECT_FALSE(pushed->ref());
  advance(5.0);
  EXPECT_EQ(timeouts, 0);
  EXPECT_TRUE(transport->sent().empty());
}

}  // namespace
}  // namespace zirudeze::realtime::testing
