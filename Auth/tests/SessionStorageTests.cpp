#include <gtest/gtest.h>

#include "AuthClientTestSupport.hpp"
#include "AuthTestSupport.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "auth/SessionStorage.hpp"
#include "base/coding/JSONCoders.hpp"

namespace zirudeze::auth {
namespace {

using testing::FakeKeychain;
using testing::RecordingLogger;

constexpr const char* kStorageKey = "zirudeze.auth.token";
constexpr const char* kOldKey = "zirudeze.session";
const std::string kNotFound = "errSecItemNotFound: The item cannot be found.";
const std::string kNotReadable = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";

Session sampleSession(std::string accessToken = "access-1") {
  Session session;
  session.accessToken = std::move(accessToken);
  session.tokenType = "bearer";
  session.expiresIn = 3600;
  session.expiresAt = 1715000000.5;
  session.refreshToken = "refresh-1";
  session.user.id = *velmoria::base::UUID::fromString("8A0F4C2E-1B7D-4C3A-9E55-0D6B1F2A3C4D");
  session.user.aud = "authenticated";
  session.user.email = "ada@example.com";
  session.user.userMetadata = {{"full_name", helpers::AnyJSON("Ada")}};
  session.user.createdAt = testing::micros(1714557600123000);
  session.user.updatedAt = testing::micros(1714557601000000);
  return session;
}

std::string currentDocument(const Session& session) { return StoredSessionCoders::encoder().encodeToString(session); }
std::string snakeDocument(const Session& session) { return AuthJSONCoders::encoder().encodeToString(session); }
std::string wrapperDocument(const Session& session) {
  return R"({"session":)" + snakeDocument(session) + R"(,"expiration_date":"2024-05-06T12:53:20.500"})";
}

// One auth client over an in-memory keychain, with a logger that keeps every record.
class SessionStorageTest : public ::testing::Test {
 protected:
  explicit SessionStorageTest(std::optional<std::string> storageKey = std::nullopt)
      : id(testing::registerClient(keychain.storage, logger, std::move(storageKey))),
        storage(Dependencies::get(id)->sessionStorage) {}

  FakeKeychain keychain;
  std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();
  AuthClientID id;
  SessionStorage storage;
};

TEST_F(SessionStorageTest, AnEmptyKeychainGivesNothingAndLogsOnlyTheReadFailure) {
  EXPECT_EQ(storage.get(), std::nullopt);
  EXPECT_EQ(logger->messages(), (std::vector<std::string>{"Failed to retrieve session: " + kNotFound}));
  const auto record = logger->records().front();
  EXPECT_EQ(record.level, helpers::ZirudezeLogLevel::error);
  EXPECT_EQ(record.system, "Auth");
  EXPECT_EQ(record.fileID, "Auth/SessionStorage.cpp");
  EXPECT_EQ(record.function, "live(clientID:)");
}

// Every get reads the storage anew (another process may have changed it), each key once.
TEST_F(SessionStorageTest, AGetWithNothingToMigrateReadsEachKeyOnceAndWritesNothing) {
  keychain.put(kStorageKey, currentDocument(sampleSession()));
  const auto reads = keychain.store->readCount();
  const auto writes = keychain.store->writeCount();
  EXPECT_EQ(storage.get(), sampleSession());
  EXPECT_EQ(keychain.store->readCount() - reads, 2u);
  EXPECT_EQ(storage.get(), sampleSession());
  EXPECT_EQ(keychain.store->readCount() - reads, 4u);
  EXPECT_EQ(keychain.store->writeCount(), writes);
  EXPECT_TRUE(logger->messages().empty());
}

TEST_F(SessionStorageTest, TheOldWrapperBecomesTheCurrentDocumentWithinOneGet) {
  keychain.put(kOldKey, wrapperDocument(sampleSession()));
  EXPECT_EQ(storage.get(), sampleSession());
  EXPECT_EQ(keychain.document(kOldKey), std::nullopt);
  const auto stored = keychain.document(kStorageKey);
  ASSERT_TRUE(stored);
  EXPECT_EQ(velmoria::base::parseJson(*stored), velmoria::base::parseJson(currentDocument(sampleSession())));
  EXPECT_TRUE(velmoria::base::parseJson(*stored)["user"]["createdAt"].is_number());
  EXPECT_TRUE(logger->messages().empty());
}

// A session under the old key moves only where there is none it would replace, and only a session moves;
// where one is, the old session goes, or it would come back once the current one ends.
TEST_F(SessionStorageTest, AnOldDocumentNeverReplacesACurrentSessionNorMovesUnread) {
  keychain.put(kStorageKey, currentDocument(sampleSession("newer")));
  keychain.put(kOldKey, wrapperDocument(sampleSession("older")));
  EXPECT_EQ(storage.get()->accessToken, "newer");
  EXPECT_EQ(keychain.document(kOldKey), std::nullopt);

  // Nor over a session that is still in an older form.
  keychain.put(kOldKey, wrapperDocument(sampleSession("older")));
  keychain.put(kStorageKey, snakeDocument(sampleSession("newer")));
  EXPECT_EQ(storage.get()->accessToken, "newer");
  EXPECT_EQ(keychain.document(kOldKey), std::nullopt);

  // Over a document that holds no session it does move.
  keychain.put(kOldKey, wrapperDocument(sampleSession("older")));
  keychain.put(kStorageKey, "not json at all");
  EXPECT_EQ(storage.get()->accessToken, "older");
  EXPECT_EQ(keychain.document(kOldKey), std::nullopt);

  // What no reader understands stays where it is, and takes nothing's place.
  keychain.put(kOldKey, R"({"session":{"access_token":"cut sh)");
  EXPECT_EQ(storage.get()->accessToken, "older");
  keychain.store->remove({"zirudeze.auth", std::nullopt, kStorageKey});
  EXPECT_EQ(storage.get(), std::nullopt);
  EXPECT_EQ(keychain.document(kOldKey), R"({"session":{"access_token":"cut sh)");
}

// Storing or removing the session takes an old one along, so no later read can move it in.
TEST_F(SessionStorageTest, StoringOrRemovingTheSessionRetiresTheOldOne) {
  keychain.put(kOldKey, wrapperDocument(sampleSession("older")));
  storage.store(sampleSession("newer"));
  EXPECT_EQ(keychain.document(kOldKey), std::nullopt);

  keychain.put(kOldKey, wrapperDocument(sampleSession("older")));
  storage.remove();
  EXPECT_EQ(keychain.document(kOldKey), std::nullopt);
  EXPECT_EQ(storage.get(), std::nullopt);
}

TEST_F(SessionStorageTest, ADocumentChangedBehindTheStoragesBackIsReadAnew) {
  keychain.put(kStorageKey, currentDocument(sampleSession("first")));
  EXPECT_EQ(storage.get()->accessToken, "first");
  keychain.put(kStorageKey, currentDocument(sampleSession("second")));
  EXPECT_EQ(storage.get()->accessToken, "second");
  keychain.put(kStorageKey, currentDocument(sampleSession("first")));
  EXPECT_EQ(storage.get()->accessToken, "first");
  keychain.put(kStorageKey, "not json at all");
  EXPECT_EQ(storage.get(), std::nullopt);
  EXPECT_EQ(storage.get(), std::nullopt);
  EXPECT_EQ(logger->messages(), (std::vector<std::string>(2, "Failed to retrieve session: " + kNotReadable)));
}

TEST_F(SessionStorageTest, ASnakeCaseDocumentIsRewrittenInTheCurrentForm) {
  keychain.put(kStorageKey, snakeDocument(sampleSession()));
  EXPECT_EQ(storage.get(), sampleSession());
  EXPECT_EQ(velmoria::base::parseJson(*keychain.document(kStorageKey)),
            velmoria::base::parseJson(currentDocument(sampleSession())));
}

TEST_F(SessionStorageTest, ACurrentDocumentWithUserDatesIsNotRewritten) {
  keychain.put(kStorageKey, currentDocument(sampleSession()));
  const auto writes = keychain.store->writeCount();
  storage.get();
  storage.get();
  EXPECT_EQ(keychain.store->writeCount(), writes);
}

TEST_F(SessionStorageTest, ADocumentThatIsNotJSONGivesNothingAndOneLogWithoutMigrationLogs) {
  keychain.put(kStorageKey, "not json at all");
  EXPECT_EQ(storage.get(), std::nullopt);
  EXPECT_EQ(logger->messages(), (std::vector<std::string>{"Failed to retrieve session: " + kNotReadable}));
  EXPECT_EQ(keychain.document(kStorageKey), "not json at all");
}

TEST_F(SessionStorageTest, AFailingWriteIsLoggedNeverThrownAndEveryGetRetriesThePendingMove) {
  keychain.store->failWrites(velmoria::platform::KeychainStoreError(
      velmoria::platform::KeychainStoreError::Reason::interactionNotAllowed, "locked"));
  const std::string locked = "errSecInteractionNotAllowed: Interaction with the Security Server is not allowed.";
  EXPECT_NO_THROW(storage.store(sampleSession()));
  EXPECT_EQ(logger->messages(), (std::vector<std::string>{"Failed to store session: " + locked}));

  keychain.store->failWrites(std::nullopt);
  keychain.put(kOldKey, wrapperDocument(sampleSession()));
  keychain.store->failWrites(velmoria::platform::KeychainStoreError(
      velmoria::platform::KeychainStoreError::Reason::interactionNotAllowed, "locked"));
  storage.get();
  storage.get();
  const auto messages = logger->messages();
  const std::string migrationFailure = "Storage migration 'sessionNewKey' failed: " + locked;
  EXPECT_EQ(std::count(messages.begin(), messages.end(), migrationFailure), 2);
  EXPECT_TRUE(keychain.document(kOldKey).has_value());
}

TEST_F(SessionStorageTest, StoreThenGetGivesAnEqualSessionKeptUnderCamelCaseKeys) {
  storage.store(sampleSession());
  EXPECT_EQ(storage.get(), sampleSession());
  const auto document = velmoria::base::parseJson(*keychain.document(kStorageKey));
  EXPECT_TRUE(document.contains("accessToken"));
  EXPECT_TRUE(document.contains("expiresAt"));
  EXPECT_FALSE(document.contains("access_token"));
  EXPECT_TRUE(document["user"].contains("userMetadata"));
  EXPECT_TRUE(document["user"]["userMetadata"].contains("full_name"));
}

TEST_F(SessionStorageTest, RemovingWhatIsNotThereIsLoggedAndRemovingWorks) {
  storage.remove();
  EXPECT_EQ(logger->messages(), (std::vector<std::string>{"Failed to delete session: " + kNotFound}));
  storage.store(sampleSession());
  storage.remove();
  EXPECT_EQ(keychain.document(kStorageKey), std::nullopt);
}

TEST_F(SessionStorageTest, AReadFailureGivesNothingAndLeavesTheMigrationsSilent) {
  keychain.put(kStorageKey, currentDocument(sampleSession()));
  keychain.store->failReads(velmoria::platform::KeychainStoreError(
      velmoria::platform::KeychainStoreError::Reason::userCanceled, "dismissed"));
  EXPECT_EQ(storage.get(), std::nullopt);
  EXPECT_EQ(logger->messages(),
            (std::vector<std::string>{"Failed to retrieve session: errSecUserCanceled: User canceled the operation."}));
}

// A storage that answers "nothing" for a missing value, as storages other than the keychain may.
class MapStorage final : public AuthLocalStorage {
 public:
  void store(const std::string& key, const velmoria::base::Data& value) override { values[key] = value; }
  std::optional<velmoria::base::Data> retrieve(const std::string& key) override {
    const auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    return found->second;
  }
  void remove(const std::string& key) override { values.erase(key); }
  std::map<std::string, velmoria::base::Data> values;
};

TEST(SessionStorage, AStorageThatAnswersNothingGivesNothingAndLogsNothing) {
  const auto logger = std::make_shared<RecordingLogger>();
  const auto id = testing::registerClient(std::make_shared<MapStorage>(), logger);
  EXPECT_EQ(Dependencies::get(id)->sessionStorage.get(), std::nullopt);
  EXPECT_TRUE(logger->records().empty());
}

class CustomKeySessionStorage : public SessionStorageTest {
 protected:
  CustomKeySessionStorage() : SessionStorageTest("zd-project-auth-token") {}
};

TEST_F(CustomKeySessionStorage, TheConfiguredKeyHoldsTheSessionAndTheOldDocumentMovesThere) {
  keychain.put(kOldKey, wrapperDocument(sampleSession()));
  EXPECT_EQ(storage.get(), sampleSession());
  EXPECT_TRUE(keychain.document("zd-project-auth-token").has_value());
  EXPECT_EQ(keychain.document(kStorageKey), std::nullopt);
}

class OldKeySessionStorage : public SessionStorageTest {
 protected:
  OldKeySessionStorage() : SessionStorageTest(kOldKey) {}
};

TEST_F(OldKeySessionStorage, AClientKeepingItsSessionUnderTheOldKeyDoesNotLoseIt) {
  storage.store(sampleSession());
  EXPECT_EQ(storage.get(), sampleSession());
  EXPECT_EQ(storage.get(), sampleSession());
}

}  // namespace
}  // namespace zirudeze::auth
