// What a burst of session queries on an expired session costs: 100 callers at once share one refresh
// against the loopback fake auth service, which answers after a fixed 50 ms. Goal: one "token" request
// per burst, and the last caller done within 1.5x the time a single caller takes (the baseline arm).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "auth/AuthClient.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "auth/Dependencies.hpp"
#include "auth/Keychain.hpp"
#include "platform/InMemoryKeychainStore.hpp"
#include "testsupport/FakeAuth.hpp"

namespace auth = zirudeze::auth;
using namespace std::chrono_literals;

namespace {

constexpr auto kAnswerDelay = 50ms;

struct Service {
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeAuth fake{backend};
  std::shared_ptr<auth::AuthClient> client = auth::AuthClient::make(auth::AuthClientConfiguration({
      .url = velmoria::base::URL::parse(fake.url()),
      .localStorage = std::make_shared<auth::KeychainLocalStorage>(
          auth::Keychain("zirudeze.auth", std::nullopt, std::make_shared<velmoria::platform::InMemoryKeychainStore>())),
      .autoRefreshToken = false,
      .emitLocalSessionAsInitialSession = true,
  }));

  Service() { fake.setDelay("token", kAnswerDelay); }

  // A session the service knows, already past its end.
  void storeExpiredSession() {
    auto session = auth::AuthJSONCoders::decoder().decode<auth::Session>(fake.issueSession("ada@example.com").dump());
    session.expiresAt -= session.expiresIn + 60;
    auth::Dependencies::get(client->clientID())->sessionStorage.store(session);
  }
  std::size_t tokenRequests() const {
    std::size_t count = 0;
    for (const auto& request : backend.requests()) count += request.path == "/auth/v1/token";
    return count;
  }
};

// Runs `callers` session queries released at once and returns the time until the last one is done.
double burst(Service& service, int callers) {
  std::mutex mutex;
  std::condition_variable released;
  bool go = false;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < callers; ++i) {
    threads.emplace_back([&] {
      {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return go; });
      }
      try {
        service.client->session();
      } catch (...) {
        ++failures;
      }
    });
  }
  std::this_thread::sleep_for(5ms);  // let every caller reach the gate
  const auto start = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(mutex);
    go = true;
  }
  released.notify_all();
  for (auto& thread : threads) thread.join();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (failures.load() != 0) throw std::runtime_error("a caller failed");
  return std::chrono::duration<double>(elapsed).count();
}

void concurrentSessionQueries(benchmark::State& state) {
  Service service;
  const int callers = static_cast<int>(state.range(0));
  std::size_t bursts = 0;
  for (auto _ : state) {
    state.PauseTiming();
    service.storeExpiredSession();
    state.ResumeTiming();
    state.SetIterationTime(burst(service, callers));
    ++bursts;
  }
  state.counters["token_requests_per_burst"] =
      static_cast<double>(service.tokenRequests()) / static_cast<double>(bursts);
}

}  // namespace

// 1 caller is the baseline for the 1.5x goal.
BENCHMARK(concurrentSessionQueries)->Arg(1)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);
