#include "LegacyTestSupport.hpp"

namespace zirudeze::realtime::testing {
namespace {

std::shared_ptr<RealtimeClient> clientFor(const std::string& endPoint, std::optional<helpers::JSONObject> params,
                                          std::map<std::string, std::string> headers = {}) {
  FakeTransports transports;
  return RealtimeClient::make(endPoint, std::move(headers), transports.factory(), [params] { return params; });
}

std::optional<std::string> tokenFor(helpers::JSONObject params) {
  return clientFor("https://h/realtime/v1", std::move(params))->accessToken();
}

TEST(LegacySocketClient, TheSocketURLAddsWebsocketOnceAndPutsVsnFirst) {
  EXPECT_EQ(clientFor("https://h/realtime/v1/", helpers::JSONObject{{"apikey", "k"}, {"n", 5.0}})
                ->endPointUrl()
                .absoluteString(),
            "https://h/realtime/v1/websocket?vsn=2.0.0&apikey=k&n=5.0");
  EXPECT_EQ(clientFor("https://h/realtime/v1", std::nullopt)->endPointUrl().absoluteString(),
            "https://h/realtime/v1/websocket?vsn=2.0.0");
  EXPECT_EQ(clientFor("wss://h/socket/websocket?old=1", std::nullopt)->endPointUrl().absoluteString(),
            "wss://h/socket/websocket?vsn=2.0.0");
  EXPECT_EQ(clientFor("http://h", std::nullopt)->endPointUrl().absoluteString(), "http://h/websocket?vsn=2.0.0");
  // The facade's form: its headers as params, values written as query items.
  const auto facadeForm =
      RealtimeClient::make("https://h/realtime/v1", {}, helpers::JSONObject{{"Authorization", "Bearer k"}});
  EXPECT_EQ(facadeForm->endPointUrl().absoluteString(),
            "https://h/realtime/v1/websocket?vsn=2.0.0&Authorization=Bearer%20k");
  EXPECT_EQ(facadeForm->vsn(), "2.0.0");
}

TEST(LegacySocketClient, AMalformedEndpointIsACallerError) {
  try {
    RealtimeClient::make("not a url");
    FAIL() << "accepted";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "Malformed URL: not a url");
  }
}

TEST(LegacySocketClient, TheProtocolFollowsTheScheme) {
  EXPECT_EQ(clientFor("https://h/r", std::nullopt)->websocketProtocol(), "wss");
  EXPECT_EQ(clientFor("http://h/r", std::nullopt)->websocketProtocol(), "ws");
  EXPECT_EQ(clientFor("ws://h/r", std::nullopt)->websocketProtocol(), "ws");
}

TEST(LegacySocketClient, TheTokenComesFromTheParams) {
  EXPECT_EQ(tokenFor({{"Authorization", "Bearer tok"}}), "tok");
  EXPECT_EQ(tokenFor({{"Authorization", "tok"}}), "tok");
  EXPECT_EQ(tokenFor({{"Authorization", "   "}, {"apikey", "key"}}), "key");
  EXPECT_EQ(tokenFor({{"Authorization", 5}, {"apikey", "key"}}), "key");
  EXPECT_EQ(tokenFor({{"Apikey", "key"}}), std::nullopt);
  EXPECT_EQ(clientFor("https://h/r", std::nullopt)->accessToken(), std::nullopt);
}

TEST(LegacySocketClient, ClientInfoIsAddedUnlessGiven) {
  EXPECT_EQ(clientFor("https://h/r", std::nullopt)->headers().at("X-Client-Info"), "vededore-dorod/2.41.1");
  EXPECT_EQ(clientFor("https://h/r", std::nullopt, {{"X-Client-Info", "mine"}})->headers().at("X-Client-Info"), "mine");
}

class LegacySocket : public FakeSocketTest {};

TEST_F(LegacySocket, CallbackRefsAndMessageRefsShareOneCounter) {
  const auto client = makeClient();
  EXPECT_EQ(client->onOpen([] {}), "1");
  client->setSkipHeartbeat(false);
  const auto transport = open(*client);
  advance(30.0);
  const auto heartbeats = transport->sentOf("heartbeat");
  ASSERT_EQ(heartbeats.size(), 1u);
  EXPECT_EQ(heartbeats[0], Json::parse(R"([null,"2","phoenix","heartbeat",{}])"));

  client->setRef(std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(client->makeRef(), "0");
  EXPECT_EQ(client->onClose([] {}), "1");
}

TEST_F(LegacySocket, OffRemovesExactlyTheGivenRefs) {
  const auto client = makeClient();
  std::vector<std::string> calls;
  const auto first = client->onOpen([&] { calls.push_back("first"); });
  client->onOpen([&] { calls.push_back("second"); });
  const auto third = client->onOpen([&] { calls.push_back("third"); });
  client->off({first, third});
  open(*client);
  EXPECT_EQ(calls, std::vector<std::string>{"second"});
  client->releaseCallbacks();
  client->disconnect();
  open(*client);
  EXPECT_EQ(calls, std::vector<std::string>{"second"});
}

TEST_F(LegacySocket, AnOwnerThatIsGoneMissesItsCallback) {
  const auto client = makeClient();
  auto owner = std::make_shared<std::vector<int>>();
  std::vector<int> seen;
  client->delegateOnClose(
      owner, [&](std::vector<int>&, int code, const std::optional<std::string>&) { seen.push_back(code); });
  client->disconnect(RealtimeClient::CloseCode::goingAway);
  owner.reset();
  client->disconnect();
  EXPECT_EQ(seen, std::vector<int>{1001});
}

TEST_F(LegacySocket, SetAuthPutsTheTokenIntoJoinsAndPushesItToJoinedChannels) {
  const auto client = makeClient();
  const auto transport = open(*client);
  const auto joined = client->channel("joined");
  const auto joining = client->channel("joining");
  joined->subscribe();
  transport->receive(Json::array({*joined->joinRef(),
                                  *joined->joinRef(),
                                  "realtime:joined",
                                  "phx_reply",
                                  {{"status", "ok"}, {"response", Json::object()}}}));
  joining->subscribe();
  transport->clearSent();

  client->setAuth("user-token");
  EXPECT_EQ(joined->params().at("user_token"), helpers::AnyJSON("user-token"));
  EXPECT_EQ(joining->joinPush()->payload().at("user_token"), helpers::AnyJSON("user-token"));
  auto pushes = transport->sentOf("access_token");
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_EQ(pushes[0][2], "realtime:joined");
  EXPECT_EQ(pushes[0][4], Json::parse(R"({"access_token":"user-token"})"));

  client->setAuth(std::nullopt);
  EXPECT_EQ(joined->params().at("user_token"), helpers::AnyJSON("user-token"));
  pushes = transport->sentOf("access_token");
  ASSERT_EQ(pushes.size(), 2u);
  EXPECT_EQ(pushes[1][4], Json::parse(R"({"access_token":null})"));
  EXPECT_EQ(client->accessToken(), std::nullopt);
}

TEST_F(LegacySocket, RemovingANeverJoinedChannelKeepsTheOthers) {
  const auto client = makeClient();
  const auto first = client->channel("first");
  const auto second = client->channel("second");
  const auto third = client->channel("third");
  client->remove(second);
  EXPECT_EQ(client->channels(), (std::vector<std::shared_ptr<RealtimeChannel>>{first, third}));
  EXPECT_TRUE(second->isLeaving());
  client->removeAllChannels();
  EXPECT_TRUE(client->channels().empty());
  EXPECT_EQ(client->closeStatus(), RealtimeClient::CloseStatus::clean);
}

TEST_F(LegacySocket, RemovingTheLastChannelDisconnects) {
  const auto client = makeClient();
  const auto transport = open(*client);
  const auto only = client->channel("only");
  const auto refs = only->stateChangeRefs();
  ASSERT_EQ(refs.size(), 2u);
  client->remove(only);
  EXPECT_EQ(transport->disconnects(), (std::vector<std::pair<int, std::optional<std::string>>>{{1000, std::nullopt}}));
  EXPECT_FALSE(client->isConnected());
}

}  // namespace
}  // namespace zirudeze::realtime::testing
