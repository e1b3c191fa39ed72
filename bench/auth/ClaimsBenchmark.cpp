// What verifying an access token costs: getClaims on an RS256 token whose key is cached checks the
// signature here and sends nothing; the baseline arm is the server-checked path (an HS256 token, one
// "user" request to the loopback fake service). Goal: no request and under 0.1 ms per local call.
#include <memory>

#include <benchmark/benchmark.h>

#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"
#include "auth/Keychain.hpp"
#include "platform/InMemoryKeychainStore.hpp"
#include "testsupport/FakeAuth.hpp"
#include "testsupport/FakeAuthFlows.hpp"
#include "testsupport/RSATestKey.hpp"

namespace auth = zirudeze::auth;

namespace {

struct Service {
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeAuth fake{backend};
  velmoria::testsupport::FakeAuthFlows flows{fake};
  velmoria::testsupport::RSATestKey key = velmoria::testsupport::RSATestKey::generate();
  std::shared_ptr<auth::AuthClient> client = auth::AuthClient::make(auth::AuthClientConfiguration({
      .url = velmoria::base::URL::parse(fake.url()),
      .storageKey = "zd-bench-claims",
      .localStorage = std::make_shared<auth::KeychainLocalStorage>(
          auth::Keychain("zirudeze.auth", std::nullopt, std::make_shared<velmoria::platform::InMemoryKeychainStore>())),
      .autoRefreshToken = false,
      .emitLocalSessionAsInitialSession = true,
  }));

  Service() { flows.setKeys(velmoria::testsupport::RSATestKey::Json::array({key.publicJWK("bench-key")})); }
};

void BM_ClaimsOfRS256TokenWithCachedKey(benchmark::State& state) {
  Service service;
  const auto exp =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count() +
      3600;
  const std::string token = service.key.sign({{"alg", "RS256"}, {"typ", "JWT"}, {"kid", "bench-key"}},
                                             {{"sub", "someone"}, {"role", "authenticated"}, {"exp", exp}});
  service.client->getClaims(token);  // fetches and caches the key set
  const auto before = service.backend.requestCount();
  for (auto _ : state) benchmark::DoNotOptimize(service.client->getClaims(token));
  state.counters["requests"] = static_cast<double>(service.backend.requestCount() - before);
}
BENCHMARK(BM_ClaimsOfRS256TokenWithCachedKey)->Unit(benchmark::kMicrosecond);

void BM_ClaimsCheckedByTheService(benchmark::State& state) {
  Service service;
  const std::string token = service.fake.issueSession("ada@example.com")["access_token"].get<std::string>();
  const auto before = service.backend.requestCount();
  for (auto _ : state) benchmark::DoNotOptimize(service.client->getClaims(token));
  state.counters["requests"] = benchmark::Counter(static_cast<double>(service.backend.requestCount() - before),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ClaimsCheckedByTheService)->Unit(benchmark::kMicrosecond);

}  // namespace
