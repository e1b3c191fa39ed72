#include "FacadeTestSupport.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"
#include "storage/FileUpload.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace zirudeze::testing {
namespace {

using issuereporting::testing::RecordingReporter;

const std::string kAccessTokenIssue =
    "Zirudeze Client is configured with the auth.accessToken option,\naccessing zirudeze.auth is not possible.";

TEST_F(FacadeTest, DatabaseRequestsCarryTheKeySignedOutAndTheUsersTokenSignedIn) {
  const auto client = facade();
  client->from("modes").select().execute<std::vector<Mode>>();
  EXPECT_EQ(backend.lastRequest().headerValues("Authorization"), std::vector<std::string>{"Bearer " + kKey});

  const auto token = signIn(*client);
  const auto rows = client->from("modes").select().eq("id", "m1").execute<std::vector<Mode>>();
  ASSERT_EQ(rows.value.size(), 1u);
  EXPECT_EQ(backend.lastRequest().headerValues("Authorization"), std::vector<std::string>{"Bearer " + token});

  // Whatever the database client was built with.
  auto given = options();
  given.global.headers = {{"Authorization", "Bearer stale"}};
  given.auth.storageKey = "other";
  const auto other = facade(given);
  other->from("modes").select().execute<std::vector<Mode>>();
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer stale");
  const auto graceToken = signIn(*other, "grace@example.com");
  other->from("modes").select().execute<std::vector<Mode>>();
  EXPECT_EQ(backend.lastRequest().headerValues("Authorization"), std::vector<std::string>{"Bearer " + graceToken});
}

TEST_F(FacadeTest, ABodyGoesOutWholeWithTheUsersToken) {
  const auto client = facade();
  const auto token = signIn(*client);
  client->from("modes")
      .insert(velmoria::base::Json{{"id", "m2"}, {"name", std::string(200'000, 'n')}})
      .executeDiscardingValue();
  const auto request = backend.lastRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.header("Authorization"), "Bearer " + token);
  EXPECT_EQ(request.header("Content-Type"), "application/json");
  EXPECT_EQ(database.rows("modes").size(), 2u);
  EXPECT_EQ(database.rows("modes")[1]["name"].get<std::string>().size(), 200'000u);
}

TEST_F(FacadeTest, AFailingTokenLookupSendsTheRequestAsItsClientMadeIt) {
  const auto client = facade();
  service.setSessionLifetime(10);  // inside the expiry margin: every lookup refreshes
  signIn(*client);
  service.failNext("token", service.errorResponse(422, "validation_failed", "not now"));
  client->from("modes").select().execute<std::vector<Mode>>();
  EXPECT_EQ(requestsTo("/auth/v1/token").size(), 1u);
  ASSERT_TRUE(client->auth()->currentSession()) << "the refusal signs nobody out";
  EXPECT_EQ(backend.lastRequest().headerValues("Authorization"), std::vector<std::string>{"Bearer " + kKey});
}

TEST_F(FacadeTest, FunctionInvocationsCarryTheUsersToken) {
  const auto client = facade();
  const auto token = signIn(*client);
  client->functions()->invoke("hello");
  EXPECT_EQ(functions.invocations("hello").at(0).headerValues("Authorization"),
            std::vector<std::string>{"Bearer " + token});
}

TEST_F(FacadeTest, StorageRequestsCarryTheKeySignedOutAndTheUsersTokenSignedIn) {
  storageService.addBucket("avatars");
  const auto client = facade();
  ASSERT_EQ(client->storage(), client->storage());
  EXPECT_EQ(client->storage()->listBuckets().size(), 1u);
  EXPECT_EQ(backend.lastRequest().headerValues("Authorization"), std::vector<std::string>{"Bearer " + kKey});
  EXPECT_EQ(backend.lastRequest().header("Apikey"), kKey);

  const auto token = signIn(*client);
  EXPECT_EQ(client->storage()->getBucket("avatars").id, "avatars");
  EXPECT_EQ(backend.lastRequest().headerValues("Authorization"), std::vector<std::string>{"Bearer " + token});

  // An upload's body reaches the service whole.
  client->storage()->from("avatars")->upload("ada.txt", velmoria::base::dataFromString("hello, storage"));
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer " + token);
  ASSERT_TRUE(storageService.object("avatars", "ada.txt"));
  EXPECT_EQ(storageService.object("avatars", "ada.txt")->content, "hello, storage");
  // So does a file's, which is read as it is sent.
  const velmoria::testsupport::ScratchFolder folder;
  client->storage()->from("avatars")->upload("ada.png",
                                             velmoria::base::URL::fileURL(folder.write("a.png", "png bytes").string()));
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer " + token);
  ASSERT_TRUE(storageService.object("avatars", "ada.png"));
  EXPECT_EQ(storageService.object("avatars", "ada.png")->content, "png bytes");
}

TEST_F(FacadeTest, TheAccessTokenOptionAuthorisesEveryRequestAndWarnsOnEveryAuthRead) {
  auto given = options();
  auto lookups = std::make_shared<std::atomic<int>>(0);
  given.auth.accessToken = [lookups]() -> std::optional<std::string> {
    return "third-party-" + std::to_string(++*lookups);
  };
  const auto reporter = std::make_shared<RecordingReporter>();
  issuereporting::withIssueReporters({reporter}, [&] {
    const auto client = facade(given);
    client->from("modes").select().execute<std::vector<Mode>>();
    EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer third-party-1");
    client->functions()->invoke("hello");
    EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer third-party-2");
    EXPECT_TRUE(reporter->calls().empty()) << "the lookup does not read the auth member";

    // No listener: sign-ins announced for a while reach no client (one that listened would have
    // pushed within this time).
    const auto auth = client->auth();
    auth::Session session;
    session.accessToken = "pushed";
    const auto emitter = auth::Dependencies::get(auth->clientID())->eventEmitter;
    const auto authorization = [&] {
      return client->functions()->headers()[http::HTTPField::Name::authorization()].value_or("<none>");
    };
    EXPECT_FALSE(eventually(
        [&] {
          emitter->emit(auth::AuthChangeEvent::signedIn, session);
          return authorization() != "Bearer " + kKey;
        },
        std::chrono::milliseconds(300)))
        << authorization();

    client->auth();
    const auto calls = reporter->calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls) EXPECT_EQ(call.text, kAccessTokenIssue);
  });
}

TEST_F(FacadeTest, AnAccessTokenOptionWithoutATokenLeavesTheRequestAlone) {
  auto given = options();
  given.auth.accessToken = []() -> std::optional<std::string> { return std::nullopt; };
  facade(given)->from("modes").select().execute<std::vector<Mode>>();
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer " + kKey);

  given.auth.accessToken = []() -> std::optional<std::string> { throw std::runtime_error("no token today"); };
  facade(given)->from("modes").select().execute<std::vector<Mode>>();
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer " + kKey);
}

}  // namespace
}  // namespace zirudeze::testing
