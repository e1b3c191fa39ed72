#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "auth/AuthClientConfiguration.hpp"
#include "auth/Keychain.hpp"
#include "platform/InMemoryKeychainStore.hpp"

namespace zirudeze::auth {
namespace {

using Code = KeychainError::Code;
using Kind = Code::Kind;
using Reason = velmoria::platform::KeychainStoreError::Reason;

// The error `operation` throws, or nothing.
template <class Operation>
std::optional<KeychainError> keychainErrorOf(Operation&& operation) {
  try {
    operation();
  } catch (const KeychainError& error) {
    return error;
  }
  return std::nullopt;
}

TEST(KeychainErrorCode, KnownStatusesGiveTheirCasesAndTexts) {
  const std::vector<std::tuple<std::int32_t, Kind, std::string>> table = {
      {-4, Kind::operationNotImplemented, "errSecUnimplemented: A function or operation is not implemented."},
      {-50, Kind::invalidParameters, "errSecParam: One or more parameters passed to the function are not valid."},
      {-128, Kind::userCanceled, "errSecUserCanceled: User canceled the operation."},
      {-25291, Kind::itemNotAvailable, "errSecNotAvailable: No trust results are available."},
      {-25293, Kind::authFailed, "errSecAuthFailed: Authorization and/or authentication failed."},
      {-25299, Kind::duplicateItem, "errSecDuplicateItem: The item already exists."},
      {-25300, Kind::itemNotFound, "errSecItemNotFound: The item cannot be found."},
      {-25308, Kind::interactionNotAllowed,
       "errSecInteractionNotAllowed: Interaction with the Security Server is not allowed."},
      {-26275, Kind::decodeFailed, "errSecDecode: Unable to decode the provided data."},
  };
  for (const auto& [status, kind, message] : table) {
    const Code code(status);
    EXPECT_EQ(code.kind(), kind) << status;
    EXPECT_EQ(code.rawValue(), status);
    EXPECT_EQ(code.message(), message);
  }
  EXPECT_EQ(Code(-25299), Code::duplicateItem());
}

TEST(KeychainErrorCode, OtherStatusesAndUnknownMessagesAreComposed) {
  EXPECT_EQ(Code(-1), Code::other(-1));
  EXPECT_EQ(Code(-1).message(), "Unspecified Keychain error: -1.");
  EXPECT_EQ(Code(0).kind(), Kind::other);
  EXPECT_EQ(Code(0).message(), "Unspecified Keychain error: 0.");
  const Code unknown = Code::unknown("x");
  EXPECT_EQ(unknown.rawValue(), 0);
  EXPECT_EQ(unknown.message(), "Unknown error: x.");
}

TEST(KeychainErrorCode, EqualityNeedsTheRawValueAndTheMessage) {
  EXPECT_NE(Code::other(-25300), Code::itemNotFound());
  EXPECT_NE(Code::unknown("a"), Code::other(0));
  EXPECT_NE(Code::unknown("a"), Code::unknown("b"));
  EXPECT_EQ(KeychainError(Code::unknown("a")), KeychainError(Code::unknown("a")));
  const KeychainError error(Code::userCanceled());
  EXPECT_STREQ(error.what(), "errSecUserCanceled: User canceled the operation.");
  EXPECT_EQ(error.localizedDescription(), error.what());
  EXPECT_EQ(error.debugDescription(), error.what());
}

class KeychainOverFake : public ::testing::Test {
 protected:
  std::shared_ptr<velmoria::platform::InMemoryKeychainStore> store =
      std::make_shared<velmoria::platform::InMemoryKeychainStore>();
  Keychain keychain{"zirudeze.auth", std::nullopt, store};
};

TEST_F(KeychainOverFake, ASecondWriteLeavesOneItemWithTheSecondValue) {
  keychain.set(velmoria::base::dataFromString("1"), "key");
  keychain.set(velmoria::base::dataFromString("2"), "key");
  EXPECT_EQ(keychain.data("key"), velmoria::base::dataFromString("2"));
  ASSERT_EQ(store->items().size(), 1u);
  EXPECT_EQ(store->items().begin()->first, (velmoria::platform::KeychainItemKey{"zirudeze.auth", std::nullopt, "key"}));
}

TEST_F(KeychainOverFake, AKeyNeverWrittenFailsToReadAndToDeleteWithItemNotFound) {
  const auto read = keychainErrorOf([&] { keychain.data("never"); });
  const auto removed = keychainErrorOf([&] { keychain.deleteItem("never"); });
  ASSERT_TRUE(read && removed);
  EXPECT_EQ(read->code(), Code::itemNotFound());
  EXPECT_STREQ(read->what(), "errSecItemNotFound: The item cannot be found.");
  EXPECT_EQ(removed->code(), Code::itemNotFound());
}

TEST_F(KeychainOverFake, WithoutServiceAndGroupAnItemCarriesOnlyTheAccount) {
  const Keychain bare(std::nullopt, std::nullopt, store);
  bare.set(velmoria::base::dataFromString("v"), "account");
  EXPECT_EQ(store->items().begin()->first,
            (velmoria::platform::KeychainItemKey{std::nullopt, std::nullopt, "account"}));
  EXPECT_TRUE(keychainErrorOf([&] { keychain.data("account"); }).has_value());
}

TEST_F(KeychainOverFake, KeychainFailuresBecomeTheirCodes) {
  store->failReads(velmoria::platform::KeychainStoreError(Reason::userCanceled, "dismissed"));
  EXPECT_EQ(keychainErrorOf([&] { keychain.data("k"); })->code(), Code::userCanceled());
  store->failReads(velmoria::platform::KeychainStoreError(Reason::interactionNotAllowed, "locked"));
  EXPECT_EQ(keychainErrorOf([&] { keychain.data("k"); })->code(), Code::interactionNotAllowed());
  store->failWrites(velmoria::platform::KeychainStoreError(Reason::unknown, "disk full"));
  const auto write = keychainErrorOf([&] { keychain.set({}, "k"); });
  EXPECT_EQ(write->code(), Code::unknown("disk full"));
  EXPECT_STREQ(write->what(), "Unknown error: disk full.");
}

TEST_F(KeychainOverFake, TheLocalStorageNeverAnswersNothing) {
  KeychainLocalStorage storage(keychain);
  EXPECT_THROW(storage.retrieve("missing"), KeychainError);
  EXPECT_THROW(storage.remove("missing"), KeychainError);
  storage.store("k", velmoria::base::dataFromString("v"));
  EXPECT_EQ(storage.retrieve("k"), velmoria::base::dataFromString("v"));
  storage.remove("k");
  EXPECT_TRUE(store->items().empty());
}

TEST(DefaultLocalStorage, IsOneKeychainOfServiceZirudezeAuthWithoutGroup) {
  const auto storage = AuthClientConfiguration::defaultLocalStorage();
  EXPECT_EQ(storage, AuthClientConfiguration::defaultLocalStorage());
  const auto* keychainStorage = dynamic_cast<const KeychainLocalStorage*>(storage.get());
  ASSERT_NE(keychainStorage, nullptr);
  EXPECT_EQ(keychainStorage->keychain.service(), "zirudeze.auth");
  EXPECT_EQ(keychainStorage->keychain.accessGroup(), std::nullopt);
}

}  // namespace
}  // namespace zirudeze::auth
