// Request overhead of the HTTP client against bare libcurl on one kept-alive loopback connection.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>
#include <testsupport/FakeBackend.hpp>

#include "helpers/HTTPClient.hpp"

namespace {

using zirudeze::helpers::HTTPClient;
using zirudeze::helpers::HTTPRequest;

constexpr int kRequests = 2000;

testsupport::FakeBackend& server() {
  static auto* backend = [] {
    auto* created = new testsupport::FakeBackend();
    created->respond("GET", "/small", testsupport::ScriptedResponse::json(200, R"({"id":1,"ok":true})"));
    return created;
  }();
  return *backend;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void BM_BareCurl2000Gets(benchmark::State& state) {
  const std::string url = server().url("/small");
  CURL* easy = curl_easy_init();
  std::string body;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      body.clear();
      if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("transfer failed");
      benchmark::DoNotOptimize(body.data());
    }
  }
  curl_easy_cleanup(easy);
  state.counters["requests/s"] =
      benchmark::Counter(double(kRequests) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_HTTPClient2000Gets(benchmark::State& state) {
  HTTPClient client(HTTPClient::defaultFetch(), {});
  const auto request = *HTTPRequest::make(server().url("/small"), HTTPRequest::Method::get());
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      auto response = client.send(request);
      if (response.statusCode != 200) state.SkipWithError("unexpected status");
      benchmark::DoNotOptimize(response.data.data());
    }
  }
  state.counters["requests/s"] =
      benchmark::Counter(double(kRequests) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_BareCurl2000Gets)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
BENCHMARK(BM_HTTPClient2000Gets)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
BENCHMARK(BM_BareCurl2000Gets)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

}  // namespace
