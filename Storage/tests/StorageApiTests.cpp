#include <stop_token>

#include <gtest/gtest.h>

#include "StorageTestSupport.hpp"
#include "concurrency/CurrentTask.hpp"
#include "helpers/CapturingLogger.hpp"
#include "helpers/ClientVersion.hpp"
#include "helpers/HTTPError.hpp"
#include "helpers/URLError.hpp"
#include "storage/StorageError.hpp"

namespace zirudeze::storage {
namespace {

using helpers::HTTPRequest;
using testing::configurationFor;
using testing::ScriptedSession;
using testing::StorageServiceTest;
using testing::text;
using testing::url;
using velmoria::testsupport::ScriptedResponse;
using Method = HTTPRequest::Method;

http::HTTPField::Name fieldName(std::string_view text) { return *http::HTTPField::Name::make(text); }

StorageHostRewrite inventedService() { return StorageHostRewrite{"zdcloud", {"co", "in", "net"}, "storage.zdcloud"}; }

std::string movedURL(const std::string& serviceURL, bool useNewHostname = true) {
  auto configuration = StorageClientConfiguration(url(serviceURL), {}, storageJSONEncoder(), storageJSONDecoder(),
                                                  ScriptedSession().session(), nullptr, useNewHostname);
  configuration.hostRewrite = inventedService();
  return ZirudezeStorageClient(configuration).configuration.url.absoluteString();
}

using helpers::CapturingLogger;

// ---- Construction ---------------------------------------------------------------------------------

TEST(StorageApiSetupTest, AddsTheClientInfoHeaderOnlyWhenItsExactKeyIsAbsent) {
  const ZirudezeStorageClient bare(configurationFor("https://p.example/storage/v1", {}));
  EXPECT_EQ(bare.configuration.headers.at("X-Client-Info"), "vadeviv-eduru/" + helpers::libraryVersion());

  const ZirudezeStorageClient own(configurationFor("https://p.example/storage/v1", {{"X-Client-Info", "mine/1"}}));
  EXPECT_EQ(own.configuration.headers.at("X-Client-Info"), "mine/1");

  const ZirudezeStorageClient otherCase(
      configurationFor("https://p.example/storage/v1", {{"x-client-info", "mine/2"}}));
  EXPECT_EQ(otherCase.configuration.headers.at("x-client-info"), "mine/2");
  EXPECT_EQ(otherCase.configuration.headers.count("X-Client-Info"), 1u);
}

TEST(StorageApiSetupTest, MovesServiceHostsOntoTheStorageHostOnce) {
  EXPECT_EQ(movedURL("https://proj.zdcloud.co/storage/v1"), "https://proj.storage.zdcloud.co/storage/v1");
  EXPECT_EQ(movedURL("https://proj.zdcloud.net:8443/storage/v1?x=1"),
            "https://proj.storage.zdcloud.net:8443/storage/v1?x=1");
  EXPECT_EQ(movedURL("https://PROJ.ZDCloud.IN/storage/v1"), "https://PROJ.storage.zdcloud.IN/storage/v1");
  EXPECT_EQ(movedURL("https://proj.storage.zdcloud.co/storage/v1"), "https://proj.storage.zdcloud.co/storage/v1");
  EXPECT_EQ(movedURL("https://files.example.org/storage/v1"), "https://files.example.org/storage/v1");
  EXPECT_EQ(movedURL("https://myzdcloud.co/storage/v1"), "https://myzdcloud.co/storage/v1");
  EXPECT_EQ(movedURL("https://proj.zdcloud.com/storage/v1"), "https://proj.zdcloud.com/storage/v1");
  EXPECT_EQ(movedURL("http://127.0.0.1:54321/storage/v1"), "http://127.0.0.1:54321/storage/v1");
  EXPECT_EQ(movedURL("http://localhost:54321/storage/v1"), "http://localhost:54321/storage/v1");
  EXPECT_EQ(movedURL("https://proj.zdcloud.co/storage/v1", false), "https://proj.zdcloud.co/storage/v1");

  auto configuration = configurationFor("https://proj.zdcloud.co/storage/v1");
  configuration = StorageClientConfiguration(configuration.url, {}, storageJSONEncoder(), storageJSONDecoder(),
                                             ScriptedSession().session(), nullptr, true);
  configuration.hostRewrite = inventedService();
  const ZirudezeStorageClient client(configuration);
  EXPECT_EQ(client.from("b")->configuration.url.absoluteString(), "https://proj.storage.zdcloud.co/storage/v1");
  // Without the deployment's values nothing matches.
  configuration.hostRewrite = {};
  EXPECT_EQ(ZirudezeStorageClient(configuration).configuration.url.absoluteString(),
            "https://proj.zdcloud.co/storage/v1");
}

TEST(StorageApiSetupTest, RefusesAHostlessURLOnlyWhenAHostIsToBeMoved) {
  for (const char* hostless : {"/storage/v1", "file:///storage/v1"}) {
    auto configuration = StorageClientConfiguration(url(hostless), {}, storageJSONEncoder(), storageJSONDecoder(),
                                                    ScriptedSession().session(), nullptr, true);
    try {
      ZirudezeStorageClient client(configuration);
      ADD_FAILURE() << "accepted " << hostless;
    } catch (const std::invalid_argument& error) {
      EXPECT_EQ(std::string(error.what()), std::string("Client initialized with invalid URL: ") + hostless);
    }
    EXPECT_NO_THROW(ZirudezeStorageClient(configurationFor(hostless)));
  }
}

TEST(StorageApiSetupTest, ConfigurationsAreValuesAndTheOlderFormHasNoLoggerOrHostMove) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const StorageClientConfiguration older(url("https://p.example/storage/v1"), {{"a", "1"}}, storageJSONEncoder(),
                                         storageJSONDecoder(), ScriptedSession().session());
#pragma GCC diagnostic pop
  EXPECT_FALSE(older.logger());
  EXPECT_FALSE(older.useNewHostname());
  EXPECT_EQ(older.encoder().settings.keyEncodingStrategy, velmoria::base::KeyEncodingStrategy::convertToSnakeCase);

  auto configuration = configurationFor("https://p.example/storage/v1", {{"a", "1"}});
  const ZirudezeStorageClient client(configuration);
  configuration.headers["a"] = "2";
  configuration.url = url("https://other.example/");
  EXPECT_EQ(client.configuration.headers.at("a"), "1");
  EXPECT_EQ(client.configuration.url.absoluteString(), "https://p.example/storage/v1");
}

TEST(StorageApiSetupTest, EachFileApiIsANewObjectWithTheClientsSettings) {
  const ZirudezeStorageClient client(configurationFor("https://p.example/storage/v1", {{"apikey", "k"}}));
  const auto first = client.from("avatars");
  const auto second = client.from("avatars");
  EXPECT_NE(first, second);
  EXPECT_EQ(first->bucketId, "avatars");
  EXPECT_EQ(second->bucketId, "avatars");
  EXPECT_EQ(first->configuration.headers, client.configuration.headers);
  EXPECT_EQ(client.from("")->bucketId, "");
}

// ---- Requests ---------------------------------------------------------------------------------------

TEST_F(StorageServiceTest, RequestHeadersBeatConfiguredOnesOfTheSameNameInAnyCase) {
  const auto custom = clientWith({{"apikey", "anon-key"}, {"Authorization", "Bearer anon-key"}, {"X-Extra", "1"}});
  HTTPRequest request(url(serviceURL()).appendingPathComponent("bucket"), Method::get());
  request.headers.append(http::HTTPField(fieldName("authorization"), "Bearer user-token"));
  request.headers.append(http::HTTPField(fieldName("X-Own"), "2"));
  const auto response = custom->execute(request);
  EXPECT_EQ(response.statusCode, 200);

  const auto sent = backend.lastRequest();
  EXPECT_EQ(sent.headerValues("Authorization"), std::vector<std::string>{"Bearer user-token"});
  EXPECT_EQ(sent.header("apikey"), "anon-key");
  EXPECT_EQ(sent.header("X-Extra"), "1");
  EXPECT_EQ(sent.header("X-Own"), "2");
  EXPECT_EQ(sent.header("X-Client-Info"), "vadeviv-eduru/" + helpers::libraryVersion());
}

TEST_F(StorageServiceTest, ServiceRefusalsBecomeStorageErrorsWithTheBodysTexts) {
  try {
    client->getBucket("missing");
    FAIL() << "expected a StorageError";
  } catch (const StorageError& error) {
    EXPECT_EQ(error.statusCode, "404");
    EXPECT_EQ(error.error, "Bucket not found");
    EXPECT_EQ(error.message, "Bucket not found");
  }
  storage.failNext(ScriptedResponse::json(400, R"({"statusCode":"404","error":"not_found","message":"It is gone"})"));
  try {
    client->listBuckets();
    FAIL() << "expected a StorageError";
  } catch (const StorageError& error) {
    EXPECT_EQ(error, StorageError("404", "It is gone", "not_found"));
  }
}

TEST_F(StorageServiceTest, RepliesThatAreNotStorageErrorsBecomeHTTPErrors) {
  storage.failNext(velmoria::testsupport::FakeStorage::htmlServerError());
  try {
    client->listBuckets();
    FAIL() << "expected an HTTPError";
  } catch (const helpers::HTTPError& error) {
    EXPECT_EQ(error.response().statusCode, 500);
    EXPECT_NE(text(error.data()).find("<h1>Internal Server Error</h1>"), std::string::npos);
  }
  for (const char* body : {"", R"({"statusCode":"400"})", "[1]"}) {
    storage.failNext(ScriptedResponse::json(409, body));
    try {
      client->listBuckets();
      ADD_FAILURE() << "accepted " << body;
    } catch (const helpers::HTTPError& error) {
      EXPECT_EQ(error.response().statusCode, 409);
      EXPECT_EQ(text(error.data()), body);
    }
  }
  // Any 2xx reply counts as success, whatever it says.
  storage.failNext(ScriptedResponse::json(201, R"({"statusCode":"500","message":"looks like an error"})"));
  EXPECT_NO_THROW(client->emptyBucket("photos"));
}

TEST(StorageTransportTest, TransportFailuresAndCancellationPassUnchanged) {
  const auto failing = StorageHTTPSession(
      [](const helpers::URLRequest& request) -> helpers::FetchResult {
        throw helpers::URLError(helpers::URLError::Code::cannotConnectToHost, request.url);
      },
      nullptr);
  try {
    ZirudezeStorageClient(configurationFor("https://p.example/storage/v1", {}, failing)).listBuckets();
    FAIL() << "expected a URLError";
  } catch (const helpers::URLError& error) {
    EXPECT_EQ(error.code(), helpers::URLError::Code::cannotConnectToHost);
    EXPECT_EQ(error.failingURL(), "https://p.example/storage/v1/bucket");
  }

  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeStorage storage(backend);
  const ZirudezeStorageClient client(configurationFor(backend.url("/storage/v1")));
  std::stop_source stop;
  stop.request_stop();
  const concurrency::CurrentStopTokenScope cancelled(stop.get_token());
  try {
    client.listBuckets();
    FAIL() << "expected a URLError";
  } catch (const helpers::URLError& error) {
    EXPECT_EQ(error.code(), helpers::URLError::Code::cancelled);
  }
  EXPECT_EQ(backend.requestCount(), 0u);
}

TEST_F(StorageServiceTest, AConfiguredLoggerSeesEveryRequestAndReply) {
  const auto logger = std::make_shared<CapturingLogger>();
  const ZirudezeStorageClient logged(
      StorageClientConfiguration(url(serviceURL()), {}, storageJSONEncoder(), storageJSONDecoder(),
                                 StorageHTTPSession(helpers::CurlTransport::shared()), logger, false));
  logged.listBuckets();
  const auto messages = logger->messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("Request: GET " + serviceURL() + "/bucket", 0), 0u) << messages[0];
  EXPECT_EQ(messages[1].rfind("Response: Status code: 200", 0), 0u) << messages[1];
}

}  // namespace
}  // namespace zirudeze::storage
