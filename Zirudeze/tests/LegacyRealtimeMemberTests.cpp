#include "FacadeTestSupport.hpp"

namespace zirudeze::testing {
namespace {

class LegacyRealtimeMemberTest : public FacadeTest {};

TEST_F(LegacyRealtimeMemberTest, TheFacadeBuildsTheLegacySocketWithItsHeadersAsParams) {
  const auto made = facade();
  const auto socket = made->realtime();
  ASSERT_TRUE(socket);
  EXPECT_EQ(socket, made->realtime());
  EXPECT_EQ(socket->endPoint(), backend.baseURL() + "/realtime/v1");
  EXPECT_EQ(socket->vsn(), "2.0.0");
  EXPECT_EQ(socket->headers(), made->headers());
  const auto params = socket->params();
  ASSERT_TRUE(params);
  EXPECT_EQ(params->at("Apikey"), helpers::AnyJSON(kKey));
  EXPECT_EQ(params->at("Authorization"), helpers::AnyJSON("Bearer " + kKey));
  // The token comes from the bearer param; nothing connects.
  EXPECT_EQ(socket->accessToken(), kKey);
  EXPECT_FALSE(socket->isConnected());
  const std::string url = socket->endPointUrl().absoluteString();
  EXPECT_EQ(url.rfind(backend.baseURL() + "/realtime/v1/websocket?vsn=2.0.0&", 0), 0u) << url;
}

TEST_F(LegacyRealtimeMemberTest, EveryPushedTokenReachesTheLegacySocketBeforeTheCurrentClient) {
  TokenRecorder recorder;
  std::mutex mutex;
  std::vector<std::optional<std::string>> legacyTokens;
  std::weak_ptr<ZirudezeClient> client;
  const auto made =
      facade(options(), RealtimeTokenReceivers{.current = recorder.receiver("current", [&](const std::string&) {
               std::lock_guard lock(mutex);
               if (const auto alive = client.lock()) {
                 legacyTokens.push_back(alive->realtime()->accessToken());
               }
             })});
  {
    std::lock_guard lock(mutex);
    client = made;
  }
  ASSERT_TRUE(waitUntilListening(*made, recorder));
  announce(*made, auth::AuthChangeEvent::signedOut, std::nullopt);
  ASSERT_TRUE(recorder.waitForTokens(2));
  std::lock_guard lock(mutex);
  ASSERT_FALSE(legacyTokens.empty());
  EXPECT_EQ(legacyTokens.back(), kKey);
  EXPECT_EQ(made->realtime()->accessToken(), kKey);
  EXPECT_NE(std::find(legacyTokens.begin(), legacyTokens.end(), std::optional<std::string>("token-a")),
            legacyTokens.end());
}

}  // namespace
}  // namespace zirudeze::testing
