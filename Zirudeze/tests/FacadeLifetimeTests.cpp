#include <future>
#include <set>

#include "FacadeTestSupport.hpp"

namespace zirudeze::testing {
namespace {

TEST_F(FacadeTest, LazyClientsAreBuiltOnceAndKept) {
  const auto client = facade();
  const auto rest = client->rest();
  client->from("modes");
  client->rpc("anything");
  client->schema("public");
  EXPECT_EQ(client->rest(), rest);
  EXPECT_EQ(client->functions(), client->functions());
  EXPECT_EQ(client->storage(), client->storage());
  EXPECT_EQ(client->auth(), client->auth());
}

TEST_F(FacadeTest, ConcurrentFirstUsesBuildOneClientEach) {
  const auto client = facade();
  constexpr int kThreads = 8;
  std::vector<std::shared_ptr<rest::RestClient>> rests(kThreads);
  std::vector<std::shared_ptr<functions::FunctionsClient>> functionClients(kThreads);
  std::vector<std::shared_ptr<storage::ZirudezeStorageClient>> storages(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      rests[i] = client->rest();
      functionClients[i] = client->functions();
      storages[i] = client->storage();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::set(rests.begin(), rests.end()).size(), 1u);
  EXPECT_EQ(std::set(functionClients.begin(), functionClients.end()).size(), 1u);
  EXPECT_EQ(std::set(storages.begin(), storages.end()).size(), 1u);
}

TEST_F(FacadeTest, TheFunctionsClientAPushMadeIsTheOneUsedLater) {
  TokenRecorder recorder;
  const auto client = facade(options(), {.current = recorder.receiver("current")});
  ASSERT_TRUE(waitUntilListening(*client, recorder));
  EXPECT_EQ(client->functions()->headers()[http::HTTPField::Name::authorization()], "Bearer token-a");
}

TEST_F(FacadeTest, DroppingTheFacadeStopsItsWaitingListenerAtOnce) {
  std::weak_ptr<auth::AuthClient> auth;
  auto done = std::async(std::launch::async, [&] {
    TokenRecorder recorder;
    auto client = facade(options(), {.current = recorder.receiver("current")});
    auth = client->auth();
    EXPECT_TRUE(waitUntilListening(*client, recorder));
    client.reset();
  });
  ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the listener kept it";
  done.get();
  EXPECT_TRUE(eventually([&] { return auth.expired(); })) << "nothing holds the auth client any more";
}

TEST_F(FacadeTest, DroppingAFreshFacadeDoesNotWaitForItsListenerToStart) {
  for (int i = 0; i < 20; ++i) facade().reset();
}

TEST_F(FacadeTest, ABuilderOutlivingTheFacadeStillSends) {
  auto client = facade();
  const auto token = signIn(*client);
  auto builder = client->from("modes").select();
  client.reset();
  EXPECT_EQ(builder.execute<std::vector<Mode>>().value.size(), 1u);
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer " + token);
}

TEST_F(FacadeTest, AReceiverHoldingTheLastReferenceLetsTheFacadeGoFromThePush) {
  auto holder = std::make_shared<std::shared_ptr<ZirudezeClient>>();
  std::atomic<bool> released{false};
  TokenRecorder recorder;
  auto client = facade(options(), {.current = [holder, &released, &recorder](const std::string& token) {
                         recorder.receiver("current")(token);
                         // The push drops the last reference to the facade on its own thread.
                         if (*holder) {
                           holder->reset();
                           released = true;
                         }
                       }});
  ASSERT_TRUE(waitUntilListening(*client, recorder));
  *holder = client;
  std::weak_ptr<ZirudezeClient> watched = client;
  client.reset();
  announce(**holder, auth::AuthChangeEvent::tokenRefreshed, "token-b");
  ASSERT_TRUE(eventually([&] { return released.load(); }));
  EXPECT_TRUE(eventually([&] { return watched.expired(); }));
}

}  // namespace
}  // namespace zirudeze::testing
