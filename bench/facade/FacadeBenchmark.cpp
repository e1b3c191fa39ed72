// Database GETs through the facade (a signed-in user's token looked up for every request) against a
// database client with fixed headers, on loopback; and a streamed function body against bare libcurl.
// Goal: a facade GET with the file keychain at most 1.2 times the GET with fixed headers
// (BM_FacadeGetAgainstFixedHeaders/FileKeychain, counter "ratio").
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "auth/AuthClientOptions.hpp"
#include "auth/Keychain.hpp"
#include "base/Coding.hpp"
#include "platform/FileKeychainStore.hpp"
#include "platform/InMemoryKeychainStore.hpp"
#include "testsupport/FakeAuth.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeDatabase.hpp"
#include "testsupport/FakeFunctions.hpp"
#include "testsupport/ScratchFolder.hpp"
#include "zirudeze/ZirudezeClient.hpp"

namespace {

using namespace zirudeze;
using Clock = std::chrono::steady_clock;

constexpr int kExecutions = 2000;
constexpr std::size_t kStreamBytes = 64u << 20;
constexpr std::size_t kChunkBytes = 256u << 10;
constexpr std::size_t kSmallBytes = 1024;

struct Mode {
  std::string id;
  std::optional<std::string> name;

  static Mode decode(const velmoria::base::Decoder& decoder) {
    const auto container = decoder.container();
    return Mode{container.decode<std::string>("id"), container.decodeIfPresent<std::string>("name")};
  }
};

// The fake backend with one mode row, a signed-in facade per keychain kind and a 64 MiB function.
struct Loopback {
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeAuth auth{backend};
  velmoria::testsupport::FakeDatabase database{backend};
  velmoria::testsupport::FakeFunctions functions{backend};
  velmoria::testsupport::ScratchFolder folder{"velmoria-bench"};
  std::shared_ptr<ZirudezeClient> inMemory = signedIn(std::make_shared<velmoria::platform::InMemoryKeychainStore>());
  std::shared_ptr<ZirudezeClient> inFiles =
      signedIn(std::make_shared<velmoria::platform::FileKeychainStore>(folder.path()));
  // The facade's own work alone: the token comes from the option, not the auth client.
  std::shared_ptr<ZirudezeClient> withTokenOption = [this] {
    ZirudezeClientOptions options;
    options.auth.storage = std::make_shared<auth::KeychainLocalStorage>(
        auth::Keychain("zirudeze.auth", std::nullopt, std::make_shared<velmoria::platform::InMemoryKeychainStore>()));
    options.auth.accessToken = [token = inMemory->auth()->session().accessToken]() -> std::optional<std::string> {
      return token;
    };
    return ZirudezeClient::make(*velmoria::base::URL::parse(backend.baseURL()), "key", options);
  }();

  Loopback() {
    database.createTable(
        {.name = "modes",
         .columns = {{.name = "id", .type = velmoria::testsupport::ColumnType::text, .nullable = false},
                     {.name = "name", .type = velmoria::testsupport::ColumnType::text}},
         .primaryKey = {"id"}});
    database.insert("modes", {{"id", "m1"}, {"name", "Deep work"}});
    const std::string chunk(kChunkBytes, 'x');
    functions.stream("large", std::vector<std::string>(kStreamBytes / kChunkBytes, chunk), {});
    // A first chunk the server sends at once, for the latency alone.
    functions.stream("small", {std::string(kSmallBytes, 's')}, {});
  }

  std::shared_ptr<ZirudezeClient> signedIn(std::shared_ptr<velmoria::platform::KeychainStore> store) {
    ZirudezeClientOptions options;
    options.auth.storage =
        std::make_shared<auth::KeychainLocalStorage>(auth::Keychain("zirudeze.auth", std::nullopt, std::move(store)));
    options.auth.emitLocalSessionAsInitialSession = true;
    options.auth.autoRefreshToken = false;
    auto client = ZirudezeClient::make(*velmoria::base::URL::parse(backend.baseURL()), "key", options);
    const auto email = "bench" + std::to_string(reinterpret_cast<std::uintptr_t>(client.get())) + "@example.com";
    client->auth()->signInWithOTP(auth::Email{email});
    client->auth()->verifyOTP(auth::Email{email}, *auth.lastCode(email), auth::EmailOTPType::email);
    return client;
  }
};

Loopback& loopback() {
  static auto* server = new Loopback();
  return *server;
}

void runGets(benchmark::State& state, const std::function<rest::RestQueryBuilder()>& from) {
  for (auto _ : state) {
    for (int i = 0; i < kExecutions; ++i) {
      auto response = from().select().eq("id", "m1").execute<std::vector<Mode>>();
      if (response.value.size() != 1) state.SkipWithError("expected one row");
      benchmark::DoNotOptimize(response.value.data());
    }
  }
}

// The facade's headers with the user's token written in, over the same transport.
void BM_RestClientFixedHeadersGets(benchmark::State& state) {
  const auto& facade = *loopback().inMemory;
  auto headers = facade.headers();
  headers["Authorization"] = "Bearer " + facade.auth()->session().accessToken;
  const rest::RestClient client({.url = facade.databaseURL(), .headers = headers});
  runGets(state, [&] { return client.from("modes"); });
}

void BM_FacadeGetsInMemoryKeychain(benchmark::State& state) {
  const auto& facade = *loopback().inMemory;
  runGets(state, [&] { return facade.from("modes"); });
}

void BM_FacadeGetsFileKeychain(benchmark::State& state) {
  const auto& facade = *loopback().inFiles;
  runGets(state, [&] { return facade.from("modes"); });
}

// The facade's GET against the same GET with fixed headers, one after the other in the same loop, so both
// see the same load on a shared machine: the counters give each one's time per request and their ratio.
void BM_FacadeGetAgainstFixedHeaders(benchmark::State& state, bool files) {
  const auto& facade = files ? *loopback().inFiles : *loopback().inMemory;
  auto headers = facade.headers();
  headers["Authorization"] = "Bearer " + facade.auth()->session().accessToken;
  const rest::RestClient fixed({.url = facade.databaseURL(), .headers = headers});
  const auto get = [&](rest::RestQueryBuilder from) {
    auto response = from.select().eq("id", "m1").execute<std::vector<Mode>>();
    if (response.value.size() != 1) state.SkipWithError("expected one row");
  };
  Clock::duration fixedTime{};
  Clock::duration facadeTime{};
  for (auto _ : state) {
    for (int i = 0; i < kExecutions / 4; ++i) {
      const auto start = Clock::now();
      get(fixed.from("modes"));
      const auto between = Clock::now();
      get(facade.from("modes"));
      facadeTime += Clock::now() - between;
      fixedTime += between - start;
    }
  }
  const double requests = static_cast<double>(state.iterations()) * (kExecutions / 4);
  const double fixedMicros = std::chrono::duration<double, std::micro>(fixedTime).count() / requests;
  const double facadeMicros = std::chrono::duration<double, std::micro>(facadeTime).count() / requests;
  state.counters["fixed us"] = fixedMicros;
  state.counters["facade us"] = facadeMicros;
  state.counters["ratio"] = facadeMicros / fixedMicros;
}

// What the facade adds per request: the auth client's current session (read from the keychain, decoded).
void BM_SessionLookup(benchmark::State& state, bool files) {
  const auto auth = (files ? loopback().inFiles : loopback().inMemory)->auth();
  for (auto _ : state) benchmark::DoNotOptimize(auth->session().accessToken.data());
}

void BM_FacadeGetsTokenOption(benchmark::State& state) {
  const auto& facade = *loopback().withTokenOption;
  runGets(state, [&] { return facade.from("modes"); });
}

struct CurlStream {
  // Each piece copied into a buffer of its own, as a consumer handed the pieces gets them.
  bool keepsPieces = false;
  std::size_t bytes = 0;
  Clock::time_point firstChunk{};
};

std::size_t count(char* data, std::size_t size, std::size_t items, void* out) {
  auto& stream = *static_cast<CurlStream*>(out);
  if (stream.bytes == 0) stream.firstChunk = Clock::now();
  stream.bytes += size * items;
  if (stream.keepsPieces) {
    const velmoria::base::Data piece(data, data + size * items);
    benchmark::DoNotOptimize(piece.data());
  }
  return size * items;
}

void reportStream(benchmark::State& state, double firstChunkSeconds, std::size_t bytes, std::size_t expected) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * expected));
  state.counters["first chunk us"] = benchmark::Counter(firstChunkSeconds * 1e6, benchmark::Counter::kAvgIterations);
  if (bytes != expected * state.iterations()) state.SkipWithError("short stream");
}

void BM_BareCurlStream(benchmark::State& state, const char* name, std::size_t expected, bool keepsPieces) {
  const auto url = loopback().functions.url() + "/" + name;
  CURL* easy = curl_easy_init();
  CurlStream stream;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &count);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &stream);
  double firstChunk = 0;
  std::size_t total = 0;
  for (auto _ : state) {
    stream = {.keepsPieces = keepsPieces};
    const auto start = Clock::now();
    if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("transfer failed");
    firstChunk += std::chrono::duration<double>(stream.firstChunk - start).count();
    total += stream.bytes;
  }
  curl_easy_cleanup(easy);
  reportStream(state, firstChunk, total, expected);
}

void BM_FunctionsStream(benchmark::State& state, const char* name, std::size_t expected) {
  const auto functions = loopback().inMemory->functions();
  double firstChunk = 0;
  std::size_t total = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto stream = functions->invokeWithStreamedResponse(name);
    bool first = true;
    while (const auto chunk = stream.next()) {
      if (first) firstChunk += std::chrono::duration<double>(Clock::now() - start).count();
      first = false;
      total += chunk->size();
    }
  }
  reportStream(state, firstChunk, total, expected);
}

BENCHMARK_CAPTURE(BM_SessionLookup, InMemoryKeychain, false)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK_CAPTURE(BM_SessionLookup, FileKeychain, true)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK_CAPTURE(BM_FacadeGetAgainstFixedHeaders, FileKeychain, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_FacadeGetAgainstFixedHeaders, InMemoryKeychain, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3)
    ->UseRealTime();
// Interleaved, so every arm sees the same load on a shared machine.
BENCHMARK(BM_RestClientFixedHeadersGets)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_FacadeGetsInMemoryKeychain)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_FacadeGetsFileKeychain)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_FacadeGetsTokenOption)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK_CAPTURE(BM_BareCurlStream, 64MiB, "large", kStreamBytes, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlStream, 64MiBKeepingPieces, "large", kStreamBytes, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_FunctionsStream, 64MiB, "large", kStreamBytes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlStream, 1KiB, "small", kSmallBytes, false)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_FunctionsStream, 1KiB, "small", kSmallBytes)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK(BM_RestClientFixedHeadersGets)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_FacadeGetsInMemoryKeychain)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_FacadeGetsFileKeychain)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_FacadeGetsTokenOption)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK_CAPTURE(BM_BareCurlStream, 64MiB, "large", kStreamBytes, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlStream, 64MiBKeepingPieces, "large", kStreamBytes, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_FunctionsStream, 64MiB, "large", kStreamBytes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlStream, 1KiB, "small", kSmallBytes, false)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_FunctionsStream, 1KiB, "small", kSmallBytes)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200)
    ->Repetitions(3)
    ->UseRealTime();

}  // namespace
