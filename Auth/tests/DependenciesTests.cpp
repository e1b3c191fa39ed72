#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AuthClientTestSupport.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {
namespace {

TEST(Dependencies, TwoClientsHaveTheirOwnEntriesAndSeeOnlyTheirOwnSession) {
  testing::FakeKeychain firstKeychain, secondKeychain;
  const auto first = testing::registerClient(firstKeychain.storage, nullptr, "first-key");
  const auto second = testing::registerClient(secondKeychain.storage, nullptr, "second-key");
  EXPECT_NE(first, second);
  EXPECT_EQ(Dependencies::get(first)->configuration.storageKey, "first-key");
  EXPECT_EQ(Dependencies::get(second)->configuration.storageKey, "second-key");
  EXPECT_EQ(Dependencies::get(first)->api.clientID, first);

  Session session;
  session.accessToken = "only-first";
  Dependencies::get(first)->sessionStorage.store(session);
  EXPECT_EQ(Dependencies::get(first)->sessionStorage.get()->accessToken, "only-first");
  EXPECT_EQ(Dependencies::get(second)->sessionStorage.get(), std::nullopt);
}

TEST(Dependencies, ALookupRightAfterRegistrationSeesTheEntryOnAnyThread) {
  testing::FakeKeychain keychain;
  const auto id = testing::registerClient(keychain.storage, nullptr, "shared-key");
  std::vector<std::thread> threads;
  std::atomic<int> seen{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i)
        if (Dependencies::get(id)->configuration.storageKey == "shared-key") ++seen;
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(seen.load(), 800);
}

TEST(Dependencies, SettingAnEntryReplacesItAndSettingNothingRemovesIt) {
  testing::FakeKeychain keychain;
  const auto id = testing::registerClient(keychain.storage, nullptr, "before");
  auto replaced = *Dependencies::get(id);
  replaced.configuration.storageKey = "after";
  Dependencies::set(id, replaced);
  EXPECT_EQ(Dependencies::get(id)->configuration.storageKey, "after");
  Dependencies::set(id, std::nullopt);
  EXPECT_DEATH(Dependencies::get(id), "Dependencies not found for id: " + std::to_string(id));
}

TEST(DependenciesDeathTest, AnIdNeverRegisteredStopsTheProgramWithItsMessage) {
  EXPECT_DEATH(Dependencies::get(7), "Fatal error: Dependencies not found for id: 7");
}

}  // namespace
}  // namespace zirudeze::auth
