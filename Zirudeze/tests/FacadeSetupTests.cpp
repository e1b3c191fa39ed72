#include "FacadeTestSupport.hpp"
#include "auth/AuthClientConfiguration.hpp"
#include "helpers/ClientVersion.hpp"
#include "rest/RestDefaults.hpp"
#include "zirudeze/ZirudezeClientError.hpp"

namespace zirudeze::testing {
namespace {

using Headers = std::map<std::string, std::string>;

// A value whose coding shows a coder's key and date strategies.
struct Probe {
  std::string someField;
  velmoria::base::Date at;

  void encode(velmoria::base::Encoder& encoder) const {
    auto object = encoder.container();
    object.encode("someField", someField);
    object.encode("at", at);
  }
  static Probe decode(const velmoria::base::Decoder& decoder) {
    const auto object = decoder.container();
    return Probe{object.decode<std::string>("someField"), object.decode<velmoria::base::Date>("at")};
  }
};

std::string written(const velmoria::base::JSONEncoder& encoder) {
  return encoder.encodeToString(Probe{"x", velmoria::base::Date(std::chrono::milliseconds(1'700'000'000'123))});
}

std::string read(const velmoria::base::JSONDecoder& decoder) {
  std::string outcome;
  for (const auto* text : {R"({"someField":"x","at":"2023-11-14T22:13:20.123Z"})",
                           R"({"some_field":"x","at":"2023-11-14T22:13:20.123Z"})", R"({"someField":"x","at":7})"}) {
    try {
      const auto probe = decoder.decode<Probe>(std::string_view(text));
      outcome += probe.someField + std::to_string(probe.at.time_since_epoch().count()) + ";";
    } catch (const std::exception&) {
      outcome += "refused;";
    }
  }
  return outcome;
}

std::string storageKeyOf(const ZirudezeClient& client) {
  return *auth::Dependencies::get(client.auth()->clientID())->configuration.storageKey;
}

TEST_F(FacadeTest, HeadersHoldClientInfoPlatformAndTheKey) {
  const auto client = facade();
  EXPECT_EQ(client->headers(), (Headers{{"Apikey", kKey},
                                        {"Authorization", "Bearer " + kKey},
                                        {"X-Client-Info", "zirudeze-cpp/2.41.1"},
                                        {"X-Zirudeze-Client-Platform", "Linux"},
                                        {"X-Zirudeze-Client-Platform-Version", helpers::platformVersion()}}));
  EXPECT_EQ(ZirudezeClient::defaultHeaders().size(), 3u);
}

TEST_F(FacadeTest, GlobalHeadersReplaceTheFacadesOwnInAnyCase) {
  auto given = options();
  given.global.headers = {{"authorization", "Bearer service-role"}, {"X-Client-Info", "velmoria/1"}, {"X-Extra", "1"}};
  const auto headers = facade(given)->headers();
  EXPECT_EQ(headers.size(), 6u);
  EXPECT_EQ(headers.count("Authorization"), 0u);
  EXPECT_EQ(headers.at("authorization"), "Bearer service-role");
  EXPECT_EQ(headers.at("X-Client-Info"), "velmoria/1");
  EXPECT_EQ(headers.at("X-Extra"), "1");
  EXPECT_EQ(headers.at("Apikey"), kKey);
}

TEST_F(FacadeTest, DatabaseAndFunctionRequestsCarryTheHeadersOnTheWire) {
  auto given = options();
  given.global.headers = {{"X-Client-Info", "velmoria/1"}};
  const auto client = facade(given);
  client->from("modes").select().execute<std::vector<Mode>>();
  client->functions()->invoke("hello");
  for (const auto& request : {requestsTo("/rest/v1/modes").at(0), functions.invocations("hello").at(0)}) {
    EXPECT_EQ(request.headerValues("X-Client-Info"), std::vector<std::string>{"velmoria/1"}) << request.path;
    EXPECT_EQ(request.header("Apikey"), kKey);
    EXPECT_EQ(request.header("Authorization"), "Bearer " + kKey);
    EXPECT_EQ(request.header("X-Zirudeze-Client-Platform"), "Linux");
    EXPECT_EQ(request.header("X-Zirudeze-Client-Platform-Version"), helpers::platformVersion());
  }
}

TEST_F(FacadeTest, ServiceURLsSitBelowTheProjectURL) {
  const auto client = facade();
  EXPECT_EQ(client->databaseURL().absoluteString(), backend.baseURL() + "/rest/v1");
  EXPECT_EQ(client->functionsURL().absoluteString(), backend.baseURL() + "/functions/v1");
  EXPECT_EQ(client->storageURL().absoluteString(), backend.baseURL() + "/storage/v1");
  EXPECT_EQ(auth::Dependencies::get(client->auth()->clientID())->configuration.url.absoluteString(),
            backend.baseURL() + "/auth/v1");
  EXPECT_EQ(client->functions()->url().absoluteString(), backend.baseURL() + "/functions/v1");
}

TEST_F(FacadeTest, TheStorageKeyIsNamedAfterTheFirstHostLabel) {
  const auto keyFor = [&](const std::string& url) {
    return storageKeyOf(*ZirudezeClient::make(*velmoria::base::URL::parse(url), kKey, options()));
  };
  EXPECT_EQ(keyFor("https://abc.example.co"), "zd-abc-auth-token");
  EXPECT_EQ(keyFor("http://localhost:54321"), "zd-localhost-auth-token");
  EXPECT_EQ(keyFor("https://.a..b"), "zd-a-auth-token");
  EXPECT_EQ(storageKeyOf(*facade()), "zd-127-auth-token");

  auto given = options();
  given.auth.storageKey = "mine";
  EXPECT_EQ(storageKeyOf(*ZirudezeClient::make(*velmoria::base::URL::parse("https://abc.example.co"), kKey, given)),
            "mine");
}

TEST_F(FacadeTest, AProjectURLWithoutAHostLabelIsRefused) {
  auto given = options();
  given.auth.storageKey = "mine";
  for (const auto* url : {"file:///tmp/project", "https://...", "mailto:ada@example.com"}) {
    try {
      ZirudezeClient::make(*velmoria::base::URL::parse(url), kKey, given);
      ADD_FAILURE() << url << " was taken";
    } catch (const ZirudezeClientError& error) {
      EXPECT_EQ(error.code(), ZirudezeClientError::Code::invalidProjectURL);
      EXPECT_NE(std::string(error.what()).find(url), std::string::npos);
    }
  }
}

TEST(ZirudezeClientOptionsDefaults, EveryPartHoldsItsDefaults) {
  const ZirudezeClientOptions options;
  EXPECT_FALSE(options.db.schema);
  EXPECT_EQ(written(options.db.encoder), written(rest::restDefaultEncoder()));
  EXPECT_EQ(read(options.db.decoder), read(rest::restDefaultDecoder()));
  EXPECT_EQ(options.auth.storage, auth::AuthClientConfiguration::defaultLocalStorage());
  EXPECT_FALSE(options.auth.redirectToURL);
  EXPECT_FALSE(options.auth.storageKey);
  EXPECT_EQ(options.auth.flowType, auth::AuthFlowType::pkce);
  EXPECT_EQ(written(options.auth.encoder), written(auth::AuthClientConfiguration::jsonEncoder()));
  EXPECT_EQ(read(options.auth.decoder), read(auth::AuthClientConfiguration::jsonDecoder()));
  EXPECT_NE(written(options.auth.encoder), written(options.db.encoder)) << "the probe tells the coders apart";
  EXPECT_TRUE(options.auth.autoRefreshToken);
  EXPECT_FALSE(options.auth.emitLocalSessionAsInitialSession);
  EXPECT_FALSE(options.auth.accessToken);
  EXPECT_TRUE(options.global.headers.empty());
  EXPECT_EQ(options.global.session, helpers::CurlTransport::shared());
  EXPECT_FALSE(options.global.logger);
  EXPECT_FALSE(options.functions.region);
  EXPECT_FALSE(options.storage.useNewHostname);

  const auto& realtime = options.realtime;
  EXPECT_TRUE(realtime.headers.empty());
  EXPECT_EQ(realtime.heartbeatInterval, 25);
  EXPECT_EQ(realtime.reconnectDelay, 7);
  EXPECT_EQ(realtime.timeoutInterval, 10);
  EXPECT_TRUE(realtime.disconnectOnSessionLoss);
  EXPECT_TRUE(realtime.connectOnSubscribe);
  EXPECT_EQ(realtime.maxRetryAttempts, 5);
  EXPECT_FALSE(realtime.logLevel);
  EXPECT_FALSE(realtime.fetch);
  EXPECT_FALSE(realtime.accessToken);
  EXPECT_FALSE(realtime.logger);
}

TEST(ZirudezeClientOptionsDefaults, AFunctionRegionBecomesItsText) {
  const ZirudezeClientOptions::FunctionsOptions fromRegion{.region = functions::FunctionRegion::usWest2};
  EXPECT_EQ(fromRegion.region, "us-west-2");
  const ZirudezeClientOptions::FunctionsOptions fromNoRegion{.region = std::optional<functions::FunctionRegion>()};
  EXPECT_FALSE(fromNoRegion.region);
  const ZirudezeClientOptions::FunctionsOptions fromText{.region = std::string("eu-west-1")};
  EXPECT_EQ(fromText.region, "eu-west-1");
}

TEST(ZirudezeClientOptionsDefaults, LeavingOutAuthGivesItsDefaults) {
  const ZirudezeClientOptions withoutAuth{.db = {.schema = "app"}, .functions = {.region = "eu-west-1"}};
  const ZirudezeClientOptions::AuthOptions defaults;
  EXPECT_EQ(withoutAuth.db.schema, "app");
  EXPECT_EQ(withoutAuth.auth.storage, defaults.storage);
  EXPECT_EQ(withoutAuth.auth.flowType, defaults.flowType);
  EXPECT_EQ(withoutAuth.auth.autoRefreshToken, defaults.autoRefreshToken);
  EXPECT_EQ(withoutAuth.auth.emitLocalSessionAsInitialSession, defaults.emitLocalSessionAsInitialSession);
  EXPECT_FALSE(withoutAuth.auth.storageKey);
}

}  // namespace
}  // namespace zirudeze::testing
