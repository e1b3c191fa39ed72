#include <set>

#include <gtest/gtest.h>

#include "AuthClientTestSupport.hpp"
#include "auth/CodeVerifierStorage.hpp"
#include "auth/PKCE.hpp"

namespace zirudeze::auth {
namespace {

bool isBase64URLText(const std::string& text) {
  return text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") ==
         std::string::npos;
}

TEST(PKCE, VerifiersAre86Base64URLCharactersAndDiffer) {
  const PKCE pkce = PKCE::live();
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string verifier = pkce.generateCodeVerifier();
    EXPECT_EQ(verifier.size(), 86u);
    EXPECT_TRUE(isBase64URLText(verifier)) << verifier;
    seen.insert(verifier);
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST(PKCE, TheChallengeIsTheS256ChallengeOfRFC7636) {
  const PKCE pkce = PKCE::live();
  EXPECT_EQ(pkce.generateCodeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  const std::string challenge = pkce.generateCodeChallenge(pkce.generateCodeVerifier());
  EXPECT_EQ(challenge.size(), 43u);
  EXPECT_TRUE(isBase64URLText(challenge));
}

class CodeVerifierStorageTest : public ::testing::Test {
 protected:
  explicit CodeVerifierStorageTest(std::optional<std::string> storageKey = std::nullopt)
      : id(testing::registerClient(keychain.storage, logger, std::move(storageKey))),
        storage(Dependencies::get(id)->codeVerifierStorage) {}

  testing::FakeKeychain keychain;
  std::shared_ptr<testing::RecordingLogger> logger = std::make_shared<testing::RecordingLogger>();
  AuthClientID id;
  CodeVerifierStorage storage;
};

TEST_F(CodeVerifierStorageTest, ASetVerifierReadsBackAndSettingNothingRemovesIt) {
  storage.set("x");
  EXPECT_EQ(keychain.document("zirudeze.auth.token-code-verifier"), "x");
  EXPECT_EQ(storage.get(), "x");
  storage.set(std::nullopt);
  EXPECT_EQ(keychain.document("zirudeze.auth.token-code-verifier"), std::nullopt);
  EXPECT_EQ(storage.get(), std::nullopt);
  EXPECT_EQ(logger->messages(),
            (std::vector<std::string>{"Failure loading code verifier: errSecItemNotFound: The item cannot be found."}));
}

TEST_F(CodeVerifierStorageTest, RemovingWhatIsNotThereIsLoggedAsAStoringFailure) {
  storage.set(std::nullopt);
  EXPECT_EQ(logger->messages(),
            (std::vector<std::string>{"Failure storing code verifier: errSecItemNotFound: The item cannot be found."}));
  const auto record = logger->records().front();
  EXPECT_EQ(record.level, helpers::ZirudezeLogLevel::error);
  EXPECT_EQ(record.fileID, "Auth/CodeVerifierStorage.cpp");
  EXPECT_EQ(record.function, "live(clientID:)");
}

TEST_F(CodeVerifierStorageTest, StoredBytesThatAreNotUTF8ComeBackWithReplacementCharacters) {
  keychain.put("zirudeze.auth.token-code-verifier",
               "ab\xFF"
               "cd");
  EXPECT_EQ(storage.get(),
            "ab\xEF\xBF\xBD"
            "cd");
}

TEST_F(CodeVerifierStorageTest, AVerifierThatIsNotUTF8IsRefusedWithItsLog) {
  storage.set(std::string("\xC3"));
  EXPECT_TRUE(keychain.store->items().empty());
  EXPECT_EQ(logger->messages(), (std::vector<std::string>{"Code verifier is not a valid UTF8 string."}));
}

TEST_F(CodeVerifierStorageTest, AStoringFailureIsLoggedNotThrown) {
  keychain.store->failWrites(
      velmoria::platform::KeychainStoreError(velmoria::platform::KeychainStoreError::Reason::unknown, "full"));
  EXPECT_NO_THROW(storage.set("v"));
  EXPECT_EQ(logger->messages(), (std::vector<std::string>{"Failure storing code verifier: Unknown error: full."}));
}

class CustomKeyCodeVerifierStorage : public CodeVerifierStorageTest {
 protected:
  CustomKeyCodeVerifierStorage() : CodeVerifierStorageTest("zd-project-auth-token") {}
};

TEST_F(CustomKeyCodeVerifierStorage, TheKeyIsTheStorageKeyWithItsSuffix) {
  storage.set("v");
  EXPECT_EQ(keychain.document("zd-project-auth-token-code-verifier"), "v");
}

// A storage that answers "nothing" logs that at level debug only.
TEST(CodeVerifierStorage, NothingStoredInAStorageThatSaysSoIsADebugRecord) {
  class Empty final : public AuthLocalStorage {
   public:
    void store(const std::string&, const velmoria::base::Data&) override {}
    std::optional<velmoria::base::Data> retrieve(const std::string&) override { return std::nullopt; }
    void remove(const std::string&) override {}
  };
  const auto logger = std::make_shared<testing::RecordingLogger>();
  const auto id = testing::registerClient(std::make_shared<Empty>(), logger);
  EXPECT_EQ(Dependencies::get(id)->codeVerifierStorage.get(), std::nullopt);
  ASSERT_EQ(logger->records().size(), 1u);
  EXPECT_EQ(logger->records()[0].message, "Code verifier not found.");
  EXPECT_EQ(logger->records()[0].level, helpers::ZirudezeLogLevel::debug);
}

}  // namespace
}  // namespace zirudeze::auth
