// Request overhead of the HTTP client against bare libcurl on one kept-alive loopback connection.
// The baseline does the libcurl work the client's transport does for every request (the same options,
// header collection, Accept-Encoding, a multi handle and its wait), so the difference between the two
// is what the client adds. Rates are per wall-clock second: the client waits, it does not compute.
// Run with --benchmark_enable_random_interleaving=true so that both meet the machine's load alike.
#include <array>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "helpers/HTTPClient.hpp"
#include "helpers/detail/ResponseHeaderCollector.hpp"
#include "testsupport/FakeBackend.hpp"

namespace {

using zirudeze::helpers::HTTPClient;
using zirudeze::helpers::HTTPRequest;
using zirudeze::helpers::detail::ResponseHeaderCollector;

constexpr int kRequests = 2000;

velmoria::testsupport::FakeBackend& server() {
  static auto* backend = [] {
    auto* created = new velmoria::testsupport::FakeBackend();
    created->respond("GET", "/small", velmoria::testsupport::ScriptedResponse::json(200, R"({"id":1,"ok":true})"));
    return created;
  }();
  return *backend;
}

struct Transfer {
  ResponseHeaderCollector headers;
  std::string body;
  std::array<char, CURL_ERROR_SIZE> error{};
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* context) {
  static_cast<Transfer*>(context)->headers.addLine(std::string_view(data, size * count));
  return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* context) {
  static_cast<Transfer*>(context)->body.append(data, size * count);
  return size * count;
}

int onProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return 0; }

// One GET as the transport makes it: a reset handle, its options, and the multi handle's perform-and-wait.
bool bareGet(CURL* easy, CURLM* multi, const std::string& url) {
  Transfer transfer;
  curl_easy_reset(easy);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 60000L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.error.data());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_slist* headerList = curl_slist_append(nullptr, "Content-Type:");
  headerList = curl_slist_append(headerList, "Expect:");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);

  curl_multi_add_handle(multi, easy);
  CURLcode result = CURLE_FAILED_INIT;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) break;
    if (running == 0) {
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE) result = message->data.result;
      }
      break;
    }
    curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  curl_multi_remove_handle(multi, easy);
  curl_slist_free_all(headerList);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  benchmark::DoNotOptimize(transfer.body.data());
  benchmark::DoNotOptimize(transfer.headers.fields().data());
  return result == CURLE_OK && status == 200 && transfer.headers.complete();
}

void BM_BareCurl2000Gets(benchmark::State& state) {
  const std::string url = server().url("/small");
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 4L);
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      if (!bareGet(easy, multi, url)) state.SkipWithError("transfer failed");
    }
  }
  curl_multi_cleanup(multi);
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

BENCHMARK(BM_BareCurl2000Gets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(40);
BENCHMARK(BM_HTTPClient2000Gets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(40);

}  // namespace
