#include "FacadeTestSupport.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"
#include "testsupport/FakeRealtime.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace zirudeze::testing {
namespace {

// A logger that drops what it is given; only its identity matters here.
class SilentLogger final : public helpers::ZirudezeLogger {
 public:
  void log(const helpers::ZirudezeLogMessage&) const override {}
};

// A project whose backend also serves the realtime service.
class FacadeRealtimeTest : public FacadeTest {
 protected:
  velmoria::testsupport::FakeWebSockets sockets{backend};
  velmoria::testsupport::FakeRealtime realtime{backend, sockets};
};

TEST_F(FacadeRealtimeTest, TheCurrentClientIsBuiltOnceWithTheFacadesHeadersLoggerAndTokenProvider) {
  auto given = options();
  given.realtime.headers.set(*http::HTTPField::Name::make("X-Extra"), "kept");
  given.realtime.headers.set(*http::HTTPField::Name::make("apikey"), "replaced");
  given.global.logger = std::make_shared<SilentLogger>();
  const auto client = facade(given);
  const auto realtimeClient = client->realtimeV2();
  EXPECT_EQ(realtimeClient, client->realtimeV2());
  EXPECT_EQ(realtimeClient->url().absoluteString(), backend.baseURL() + "/realtime/v1");
  const auto& headers = realtimeClient->options().headers;
  EXPECT_EQ(headers[*http::HTTPField::Name::make("X-Extra")], "kept");
  EXPECT_EQ(realtimeClient->apikey(), kKey) << "the facade's headers win";
  EXPECT_EQ(headers[http::HTTPField::Name::authorization()], "Bearer " + kKey);
  EXPECT_EQ(headers[*http::HTTPField::Name::make("X-Client-Info")], "zirudeze-cpp/2.41.1");
  EXPECT_EQ(realtimeClient->options().logger, given.global.logger);

  // The provider asks the auth client: nothing signed out, the user's token signed in.
  const auto& provider = realtimeClient->options().accessToken;
  ASSERT_TRUE(provider);
  EXPECT_THROW(provider(), std::exception);
  const auto token = signIn(*client);
  EXPECT_EQ(provider(), token);
}

TEST_F(FacadeRealtimeTest, ACustomTokenProviderIsKeptAndReported) {
  auto given = options();
  given.realtime.accessToken = []() -> std::optional<std::string> { return "third-party"; };
  const auto reporter = std::make_shared<issuereporting::testing::RecordingReporter>();
  issuereporting::withIssueReporters({reporter}, [&] {
    const auto client = facade(given);
    EXPECT_EQ(client->realtimeV2()->options().accessToken(), "third-party");
    client->realtimeV2();
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(
      calls[0].text,
      "You assigned a custom `accessToken` closure to the RealtimeClientV2. This might not work as you expect\nas "
      "ZirudezeClient uses Auth for pulling an access token to send on the realtime channels.\n\nPlease make sure "
      "you know what you're doing.");
}

TEST_F(FacadeRealtimeTest, ChannelsJoinLeaveAndDisconnectThroughTheFacade) {
  const auto client = facade();
  const auto room = client->channel("room");
  EXPECT_EQ(client->channel("room"), room);
  const auto lobby = client->channel("lobby");
  EXPECT_EQ(client->channels(), (std::vector<std::shared_ptr<realtime::RealtimeChannelV2>>{room, lobby}));
  room->subscribeWithError();
  lobby->subscribeWithError();
  ASSERT_EQ(realtime.connectionCount(), 1u);
  const auto join = realtime.receivedWithEvent("phx_join").at(0);
  EXPECT_EQ(join["payload"]["access_token"], kKey) << "signed out, the key's bearer";
  EXPECT_EQ(realtime.peer(0)->upgrade().queryValue("apikey"), kKey);

  client->removeChannel(room);
  EXPECT_EQ(client->channels(), std::vector<std::shared_ptr<realtime::RealtimeChannelV2>>{lobby});
  EXPECT_EQ(client->realtimeV2()->status(), realtime::RealtimeClientStatus::connected);
  client->removeAllChannels();
  EXPECT_TRUE(client->channels().empty());
  EXPECT_EQ(client->realtimeV2()->status(), realtime::RealtimeClientStatus::disconnected);
  EXPECT_EQ(realtime.receivedWithEvent("phx_leave").size(), 2u);
}

TEST_F(FacadeRealtimeTest, ASignInReachesTheCurrentClientAfterTheLegacyOne) {
  std::weak_ptr<ZirudezeClient> weakFacade;
  std::mutex mutex;
  std::vector<std::optional<std::string>> currentTokenWhenLegacyTook;
  TokenRecorder recorder;
  const auto client = facade(
      options(), RealtimeTokenReceivers{
                     .legacy = recorder.receiver("legacy",
                                                 [&](const std::string&) {
                                                   const auto alive = weakFacade.lock();
                                                   std::lock_guard lock(mutex);
                                                   currentTokenWhenLegacyTook.push_back(
                                                       alive ? alive->realtimeV2()->accessToken() : std::nullopt);
                                                 }),
                 });
  weakFacade = client;
  const auto channel = client->channel("room");
  channel->subscribeWithError();

  const auto token = signIn(*client);
  ASSERT_TRUE(eventually([&] { return client->realtimeV2()->accessToken() == token; }));
  ASSERT_TRUE(realtime.waitForEvent("access_token", 1));
  EXPECT_EQ(realtime.receivedWithEvent("access_token")[0]["payload"]["access_token"], token);
  const auto entries = recorder.entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back(), (TokenRecorder::Entry{"legacy", token}));
  std::lock_guard lock(mutex);
  ASSERT_FALSE(currentTokenWhenLegacyTook.empty());
  EXPECT_NE(currentTokenWhenLegacyTook.back(), token) << "the current client takes it only after the legacy one";
}

TEST_F(FacadeRealtimeTest, TheFirstTokenPushBuildsTheCurrentClient) {
  const auto client = facade();
  const auto token = signIn(*client);
  ASSERT_TRUE(eventually([&] { return client->realtimeV2()->accessToken() == token; }));
  EXPECT_EQ(realtime.connectionCount(), 0u) << "a token push connects nothing";
}

}  // namespace
}  // namespace zirudeze::testing
