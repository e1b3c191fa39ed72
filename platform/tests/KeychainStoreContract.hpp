#pragma once

// What every keychain store must do, run against each one: include once per test program and
// instantiate KeychainStoreContract with the stores of that program.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/KeychainStore.hpp"

namespace velmoria::platform::testing {

// One store under test, and a way to count its items from outside the store's own interface.
struct KeychainHarness {
  virtual ~KeychainHarness() = default;
  virtual KeychainStore& store() = 0;
  virtual std::size_t itemCount() = 0;
};

struct KeychainStoreKind {
  std::string name;
  std::function<std::unique_ptr<KeychainHarness>()> make;
};

inline void PrintTo(const KeychainStoreKind& kind, std::ostream* out) { *out << kind.name; }

inline std::string kindName(const ::testing::TestParamInfo<KeychainStoreKind>& info) { return info.param.name; }

class KeychainStoreContract : public ::testing::TestWithParam<KeychainStoreKind> {
 protected:
  void SetUp() override {
    harness_ = GetParam().make();
    if (!harness_) GTEST_SKIP() << "No Secret Service on this machine (needs dbus-run-session and gnome-keyring)";
  }

  KeychainStore& store() { return harness_->store(); }

  static base::Data bytes(std::string_view text) { return base::dataFromString(text); }

  // The reason of the failure `operation` throws, or nothing when it does not throw.
  template <class Operation>
  static std::optional<KeychainStoreError::Reason> failureOf(Operation&& operation) {
    try {
      operation();
    } catch (const KeychainStoreError& error) {
      return error.reason();
    }
    return std::nullopt;
  }

  std::unique_ptr<KeychainHarness> harness_;
};

inline const KeychainItemKey kAuthItem{"zirudeze.auth", std::nullopt, "zd-project-auth-token"};

TEST_P(KeychainStoreContract, ASecondWriteLeavesOneItemWithTheSecondValue) {
  store().write(kAuthItem, bytes("first"));
  store().write(kAuthItem, bytes("second"));
  EXPECT_EQ(store().read(kAuthItem), bytes("second"));
  EXPECT_EQ(harness_->itemCount(), 1u);
}

TEST_P(KeychainStoreContract, AKeyNeverWrittenIsNotFoundForReadAndDelete) {
  store().write(kAuthItem, bytes("x"));
  const KeychainItemKey other{"zirudeze.auth", std::nullopt, "never-written"};
  EXPECT_EQ(failureOf([&] { store().read(other); }), KeychainStoreError::Reason::itemNotFound);
  EXPECT_EQ(failureOf([&] { store().remove(other); }), KeychainStoreError::Reason::itemNotFound);
  EXPECT_EQ(store().read(kAuthItem), bytes("x"));
}

TEST_P(KeychainStoreContract, DeletingRemovesOnlyThatItem) {
  const KeychainItemKey verifier{"zirudeze.auth", std::nullopt, "zd-project-auth-token-code-verifier"};
  store().write(kAuthItem, bytes("session"));
  store().write(verifier, bytes("verifier"));
  store().remove(kAuthItem);
  EXPECT_EQ(failureOf([&] { store().read(kAuthItem); }), KeychainStoreError::Reason::itemNotFound);
  EXPECT_EQ(failureOf([&] { store().remove(kAuthItem); }), KeychainStoreError::Reason::itemNotFound);
  EXPECT_EQ(store().read(verifier), bytes("verifier"));
  EXPECT_EQ(harness_->itemCount(), 1u);
}

TEST_P(KeychainStoreContract, EveryAttributeTellsItemsApart) {
  const KeychainItemKey bare{std::nullopt, std::nullopt, "k"};
  const KeychainItemKey withService{"zirudeze.auth", std::nullopt, "k"};
  const KeychainItemKey withGroup{"zirudeze.auth", "group.team", "k"};
  store().write(withService, bytes("service"));
  store().write(bare, bytes("bare"));
  store().write(withGroup, bytes("group"));
  EXPECT_EQ(store().read(bare), bytes("bare"));
  EXPECT_EQ(store().read(withService), bytes("service"));
  EXPECT_EQ(store().read(withGroup), bytes("group"));
  EXPECT_EQ(harness_->itemCount(), 3u);
  store().remove(bare);
  EXPECT_EQ(store().read(withService), bytes("service"));
}

TEST_P(KeychainStoreContract, ValuesAreKeptByteForByte) {
  base::Data every;
  for (int b = 0; b < 256; ++b) every.push_back(static_cast<std::uint8_t>(b));
  store().write(kAuthItem, every);
  EXPECT_EQ(store().read(kAuthItem), every);
  const KeychainItemKey empty{"zirudeze.auth", std::nullopt, "empty"};
  store().write(empty, {});
  EXPECT_EQ(store().read(empty), base::Data{});
}

TEST_P(KeychainStoreContract, AccountsWithPathCharactersAreOrdinaryItems) {
  const KeychainItemKey tricky{"../..", "/etc", "../x"};
  store().write(tricky, bytes("inside"));
  EXPECT_EQ(store().read(tricky), bytes("inside"));
  EXPECT_EQ(harness_->itemCount(), 1u);
}

}  // namespace velmoria::platform::testing
