#include <gtest/gtest.h>

#include "ChannelTestSupport.hpp"
#include "concurrency/Task.hpp"
#include "helpers/WithTimeout.hpp"
#include "realtime/RealtimeError.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeRealtime.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::ChannelFixture;
using velmoria::testsupport::ScriptedResponse;

// A channel whose client posts to the fake service.
class ChannelBroadcast : public ::testing::Test {
 protected:
  ChannelFixture fixture(RealtimeChannelConfig config = {}) {
    RealtimeClientOptions options({{"apikey", "project-key"}, {"X-Client-Info", "vededore-dorod/2.41.1"}});
    return fixture(config, options);
  }
  ChannelFixture fixture(RealtimeChannelConfig config, RealtimeClientOptions options) {
    ChannelFixture made(config, std::move(options));
    made.client = std::make_shared<testing::FakeRealtimeClient>(made.client->options(),
                                                                *velmoria::base::URL::parse(realtime.url()));
    made.channel = RealtimeChannelV2::make("realtime:room", config, made.client, made.logger);
    return made;
  }

  // The text `httpSend` fails with.
  std::string httpSendFailure(ChannelFixture& made, std::optional<double> timeout = std::nullopt) {
    try {
      made.channel->httpSend("cursor", testing::json(R"({"x":1})"), timeout);
    } catch (const RealtimeError& error) {
      return error.localizedDescription();
    }
    return "<sent>";
  }

  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeWebSockets sockets{backend};
  velmoria::testsupport::FakeRealtime realtime{backend, sockets};
};

TEST_F(ChannelBroadcast, AnUnjoinedChannelPostsTheBroadcastWithItsHeaders) {
  auto made = fixture();
  made.client->setAccessToken("user-token");
  made.channel->broadcast("cursor", testing::json(R"({"x":1})"));
  ASSERT_TRUE(testing::eventually([&] { return realtime.broadcastRequests().size() == 1; }));
  const auto request = realtime.broadcastRequests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "/realtime/v1/api/broadcast");
  EXPECT_EQ(request.body,
            R"({"messages":[{"topic":"realtime:room","event":"cursor","payload":{"x":1},"private":false}]})");
  EXPECT_EQ(request.header("Content-Type"), "application/json");
  EXPECT_EQ(request.header("apikey"), "project-key");
  EXPECT_EQ(request.header("Authorization"), "Bearer user-token");
  EXPECT_TRUE(made.client->pushes().empty());

  // Without any token the request goes without "Authorization".
  auto anonymous = fixture();
  anonymous.channel->broadcast("cursor", testing::json("{}"));
  ASSERT_TRUE(testing::eventually([&] { return realtime.broadcastRequests().size() == 2; }));
  EXPECT_FALSE(realtime.broadcastRequests()[1].header("Authorization"));
}

TEST_F(ChannelBroadcast, AJoinedChannelBroadcastsOverTheSocket) {
  auto made = fixture();
  made.join();
  made.channel->broadcast("cursor", testing::json(R"({"x":1})"));
  const auto pushed = made.client->pushesWithEvent("broadcast");
  ASSERT_EQ(pushed.size(), 1u);
  EXPECT_EQ(pushed[0].payload(), testing::json(R"({"type":"broadcast","event":"cursor","payload":{"x":1}})"));
  EXPECT_TRUE(realtime.broadcastRequests().empty());
}

TEST_F(ChannelBroadcast, WithAcknowledgementTheFallbackWaitsForItsRequestUpToTheTimeout) {
  testing::TestClockScope time;
  RealtimeChannelConfig config;
  config.broadcast.acknowledgeBroadcasts = true;
  config.isPrivate = true;
  auto made = fixture(config);
  realtime.respondToBroadcasts(ScriptedResponse::json(202, "").after(30s));
  const concurrency::Task<void> sending([&] { made.channel->broadcast("cursor", testing::json("{}")); });
  // The request goes on a task of its own: the service may see it after the wait began.
  ASSERT_TRUE(testing::eventually([&] { return realtime.broadcastRequests().size() == 1; }));
  ASSERT_TRUE(time.waitForSleepers(1));
  EXPECT_FALSE(sending.isFinished());
  time.advance(10s);
  EXPECT_TRUE(testing::eventually([&] { return sending.isFinished(); }));
  EXPECT_NE(realtime.broadcastRequests().at(0).body.find(R"("private":true)"), std::string::npos);
}

TEST_F(ChannelBroadcast, HttpSendSucceedsOnlyWithAccepted) {
  auto made = fixture();
  EXPECT_EQ(httpSendFailure(made), "Access token is required for httpSend()");
  EXPECT_TRUE(realtime.broadcastRequests().empty());

  made.client->setAccessToken("user-token");
  EXPECT_EQ(httpSendFailure(made), "<sent>");
  EXPECT_EQ(realtime.broadcastRequests().at(0).header("Authorization"), "Bearer user-token");

  const std::vector<std::pair<ScriptedResponse, std::string>> failures{
      {ScriptedResponse::json(400, R"({"error":"bad topic","message":"ignored"})"), "bad topic"},
      {ScriptedResponse::json(400, R"({"message":"too large"})"), "too large"},
      {ScriptedResponse::json(400, R"(["not","an","object"])"), "bad request"},
      {ScriptedResponse::json(400, R"({"error":{"nested":true}})"), "bad request"},
      {ScriptedResponse::json(404, R"({"other":"x"})"), "not found"},
      {ScriptedResponse::text(200, "fine"), "ok"},
      {ScriptedResponse::text(599, "odd"), "server error"},
  };
  for (const auto& [response, text] : failures) {
    realtime.respondToBroadcasts(response);
    EXPECT_EQ(httpSendFailure(made), text) << response.body;
  }
}

TEST_F(ChannelBroadcast, HttpSendGivesUpAfterItsOwnTimeout) {
  testing::TestClockScope time;
  auto options = RealtimeClientOptions(std::map<std::string, std::string>{{"apikey", "project-key"}});
  options.timeoutInterval = 100;
  auto made = fixture({}, options);
  made.client->setAccessToken("user-token");
  realtime.respondToBroadcasts(ScriptedResponse::json(202, "").after(60s));
  const concurrency::Task<void> sending([&] { made.channel->httpSend("cursor", testing::json("{}"), 2.0); });
  ASSERT_TRUE(time.waitForSleepers(1));
  time.advance(1999ms);
  EXPECT_FALSE(sending.isFinished());
  time.advance(1ms);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(sending.value(), helpers::TimeoutError);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "the request stops with the limit";
}

TEST_F(ChannelBroadcast, TrackBeforeJoiningIsReportedButSentAndUntrackIsNot) {
  auto made = fixture();
  const auto issues = testing::reportedIssues([&] {
    made.channel->track(testing::json(R"({"name":"ada"})"));
    made.channel->untrack();
  });
  EXPECT_EQ(issues, std::vector<std::string>{"You can only track your presence after subscribing to the channel. Did "
                                             "you forget to call `channel.subscribe()`?"});
  const auto pushed = made.client->pushesWithEvent("presence");
  ASSERT_EQ(pushed.size(), 2u);
  EXPECT_EQ(pushed[0].payload(), testing::json(R"({"type":"presence","event":"track","payload":{"name":"ada"}})"));
  EXPECT_EQ(pushed[1].payload(), testing::json(R"({"type":"presence","event":"untrack"})"));
}

}  // namespace
}  // namespace zirudeze::realtime
