// The app's session query: building, completing and encoding it; a large "in" filter; and executions on
// loopback against bare libcurl GETs of the same URL and headers on one kept-alive connection.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "helpers/HTTPFieldsBridging.hpp"
#include "rest/RestClient.hpp"
#include "testsupport/AppTables.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeDatabase.hpp"

namespace {

using namespace zirudeze;
using velmoria::testsupport::FakeDatabase;
using velmoria::testsupport::Json;
using velmoria::testsupport::SessionRow;

constexpr int kExecutions = 2000;
const char* const kUser = "5B1F3C7E-2A4D-4E8F-9C1B-0D2E3F4A5B6C";

const char* const kSessionRow =
    R"([{"id":"c3f9a1e2-7b4d-4e8f-9c1b-0d2e3f4a5b6c","user_id":"5b1f3c7e-2a4d-4e8f-9c1b-0d2e3f4a5b6c",)"
    R"("date":"2024-05-01","started_at":"2024-05-01T08:00:00+00:00","ended_at":null,"duration_seconds":1500,)"
    R"("source":"phone","mode_id":"9e8d7c6b-5a49-4837-8261-504f3e2d1c0b"}])";

// Answers every request at once with `body`, and keeps the last request it was given.
struct NullFetch {
  std::string body = "[]";
  std::shared_ptr<helpers::URLRequest> last = std::make_shared<helpers::URLRequest>();
  helpers::FetchOperation operation() const {
    return [last = last, body = body](const helpers::URLRequest& request) {
      *last = request;
      auto response = std::make_shared<helpers::HTTPURLResponse>();
      response->statusCode = 200;
      response->allHeaderFields = {{"Content-Type", "application/json; charset=utf-8"}, {"Content-Range", "0-0/*"}};
      return helpers::FetchResult{velmoria::base::dataFromString(body), response};
    };
  }
};

rest::RestFilterBuilder sessionQuery(const rest::RestClient& client, const velmoria::base::UUID& user) {
  auto query = client.from("sessions").select("*");
  query.eq("user_id", user).is("ended_at", std::nullopt).order("started_at", {.ascending = false}).limit(1);
  return query;
}

void BM_BuildCompleteAndEncodeSessionQuery(benchmark::State& state) {
  NullFetch fetch;
  rest::RestClient client({.url = *velmoria::base::URL::parse("https://abcdefgh.example.co/rest/v1"),
                           .headers = {{"Apikey", "key"}, {"Authorization", "Bearer token"}},
                           .fetch = fetch.operation()});
  const auto user = *velmoria::base::UUID::fromString(kUser);
  for (auto _ : state) {
    auto response = sessionQuery(client, user).executeDiscardingValue();
    benchmark::DoNotOptimize(response.data.data());
  }
  if (fetch.last->url.find("order=started_at.desc.nullslast&limit=1") == std::string::npos)
    state.SkipWithError("wrong URL");
}

// Everything the client does for one execution but the transfer: the same work, one row decoded.
void BM_SessionQueryWithoutNetwork(benchmark::State& state) {
  NullFetch fetch{kSessionRow};
  rest::RestClient client({.url = *velmoria::base::URL::parse("https://abcdefgh.example.co/rest/v1"),
                           .headers = {{"Apikey", "key"}, {"Authorization", "Bearer token"}},
                           .fetch = fetch.operation()});
  const auto user = *velmoria::base::UUID::fromString(kUser);
  for (auto _ : state) {
    auto response = sessionQuery(client, user).execute<std::vector<SessionRow>>();
    if (response.value.size() != 1) state.SkipWithError("expected one row");
    benchmark::DoNotOptimize(response.value.data());
  }
}

void BM_InFilterOf10000UUIDs(benchmark::State& state) {
  NullFetch fetch;
  rest::RestClient client(
      {.url = *velmoria::base::URL::parse("https://abcdefgh.example.co/rest/v1"), .fetch = fetch.operation()});
  std::vector<velmoria::base::UUID> ids(10000);
  for (auto& id : ids) id = velmoria::base::UUID::random();
  for (auto _ : state) {
    auto query = client.from("sessions").select("id");
    query.in("id", ids);
    auto response = query.executeDiscardingValue();
    benchmark::DoNotOptimize(response.data.data());
  }
  state.counters["url bytes"] = static_cast<double>(fetch.last->url.size());
}

// The fake backend with one open session of the user among others.
struct Loopback {
  velmoria::testsupport::FakeBackend backend;
  FakeDatabase database{backend};

  Loopback() {
    velmoria::testsupport::createAppTables(database);
    database.insert("sessions", Json{{"user_id", kUser},
                                     {"date", "2024-05-01"},
                                     {"started_at", "2024-05-01T08:00:00Z"},
                                     {"duration_seconds", 1500},
                                     {"source", "phone"},
                                     {"mode_id", "9e8d7c6b-5a49-4837-8261-504f3e2d1c0b"}});
    database.insert("sessions", Json{{"user_id", kUser},
                                     {"date", "2024-04-30"},
                                     {"started_at", "2024-04-30T08:00:00Z"},
                                     {"ended_at", "2024-04-30T09:00:00Z"},
                                     {"duration_seconds", 3600}});
  }

  rest::RestClient client() const {
    return rest::RestClient({.url = *velmoria::base::URL::parse(backend.url("/rest/v1")),
                             .headers = {{"Apikey", "key"}, {"Authorization", "Bearer token"}}});
  }
};

Loopback& loopback() {
  static auto* server = new Loopback();
  return *server;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void BM_BareCurlSessionQueryGets(benchmark::State& state) {
  // The URL and headers exactly as the client sends them.
  NullFetch fetch;
  const auto base = loopback().client().configuration();
  rest::RestClient capturing({.url = base.url, .headers = base.headers, .fetch = fetch.operation()});
  sessionQuery(capturing, *velmoria::base::UUID::fromString(kUser)).executeDiscardingValue();

  CURL* easy = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const auto& [name, value] : fetch.last->allHTTPHeaderFields)
    headers = curl_slist_append(headers, (name + ": " + value).c_str());
  std::string body;
  curl_easy_setopt(easy, CURLOPT_URL, fetch.last->url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  for (auto _ : state) {
    for (int i = 0; i < kExecutions; ++i) {
      body.clear();
      if (curl_easy_perform(easy) != CURLE_OK || body.size() < 100) state.SkipWithError("transfer failed");
      benchmark::DoNotOptimize(body.data());
    }
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(easy);
}

// The same request through the HTTP client alone (its transport, request assembly and response), without
// the database client's building, completion and decoding.
void BM_HTTPClientSessionQueryGets(benchmark::State& state) {
  NullFetch fetch;
  const auto base = loopback().client().configuration();
  rest::RestClient capturing({.url = base.url, .headers = base.headers, .fetch = fetch.operation()});
  sessionQuery(capturing, *velmoria::base::UUID::fromString(kUser)).executeDiscardingValue();
  const auto request = *helpers::HTTPRequest::make(fetch.last->url, helpers::HTTPRequest::Method::get(), {},
                                                   helpers::fieldsFromPairs(fetch.last->allHTTPHeaderFields));
  helpers::HTTPClient http(helpers::HTTPClient::defaultFetch(), {});
  for (auto _ : state) {
    for (int i = 0; i < kExecutions; ++i) {
      auto response = http.send(request);
      if (response.data.size() < 100) state.SkipWithError("transfer failed");
      benchmark::DoNotOptimize(response.data.data());
    }
  }
}

void BM_ClientSessionQueryExecutions(benchmark::State& state) {
  const auto client = loopback().client();
  const auto user = *velmoria::base::UUID::fromString(kUser);
  for (auto _ : state) {
    for (int i = 0; i < kExecutions; ++i) {
      auto response = sessionQuery(client, user).execute<std::vector<SessionRow>>();
      if (response.value.size() != 1) state.SkipWithError("expected one row");
      benchmark::DoNotOptimize(response.value.data());
    }
  }
}

BENCHMARK(BM_BuildCompleteAndEncodeSessionQuery)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_SessionQueryWithoutNetwork)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_InFilterOf10000UUIDs)->Unit(benchmark::kMillisecond)->Repetitions(5);
// Interleaved, so both arms see the same load on a shared machine.
BENCHMARK(BM_BareCurlSessionQueryGets)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_HTTPClientSessionQueryGets)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_ClientSessionQueryExecutions)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_BareCurlSessionQueryGets)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_HTTPClientSessionQueryGets)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_ClientSessionQueryExecutions)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);

}  // namespace
