// The storage client against bare libcurl on one loopback server: request overhead (1,000 info calls,
// 100 downloads of 1 MiB) and a 100 MB file part uploaded (MB/s and peak memory, then both in turn for
// their time ratio). The server runs in a
// process of its own so that memory figures are the client's alone; each upload runs in a fresh child
// process whose peak resident set is measured from its start.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include "helpers/ClientVersion.hpp"
#include "helpers/CurlTransport.hpp"
#include "storage/StorageCoders.hpp"
#include "storage/ZirudezeStorageClient.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeStorage.hpp"

namespace {

namespace storage = zirudeze::storage;
namespace helpers = zirudeze::helpers;

constexpr int kInfoCalls = 1000;
constexpr int kDownloads = 100;
constexpr std::size_t kDownloadSize = 1024 * 1024;
constexpr std::size_t kUploadSize = 100'000'000;

// --- The server process -------------------------------------------------------------------------------

struct Server {
  std::uint16_t port = 0;
  std::string serviceURL() const { return "http://127.0.0.1:" + std::to_string(port) + "/storage/v1"; }
};

[[noreturn]] void serve(int portPipe) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  velmoria::testsupport::FakeBackend backend;
  backend.setMaxBodySize(256u * 1024u * 1024u);
  velmoria::testsupport::FakeStorage fake(backend);
  fake.addBucket("bench");
  fake.putObject("bench", "small.txt", "hello", "text/plain");
  fake.putObject("bench", "one-mib.bin", std::string(kDownloadSize, 'd'));
  // Uploads are only acknowledged: neither kept nor recorded, so the server's memory stays flat.
  backend.route(
      "POST", "/storage/v1/object/bench/*", [&backend](const velmoria::testsupport::RecordedRequest& request) {
        const bool multipart = request.header("Content-Type").value_or("").rfind("multipart/form-data", 0) == 0;
        const std::size_t size = request.body.size();
        backend.clearRequests();
        if (!multipart || size < kUploadSize)
          return velmoria::testsupport::ScriptedResponse::json(400, R"({"message":"short"})");
        return velmoria::testsupport::ScriptedResponse::json(200, R"({"Key":"bench/big.bin","Id":"1"})");
      });
  const std::uint16_t port = backend.port();
  if (write(portPipe, &port, sizeof port) != sizeof port) _exit(1);
  close(portPipe);
  for (;;) pause();
}

const Server& server() {
  static const Server running = [] {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe");
    const pid_t child = fork();
    if (child == 0) {
      close(pipeEnds[0]);
      serve(pipeEnds[1]);
    }
    close(pipeEnds[1]);
    Server started;
    if (read(pipeEnds[0], &started.port, sizeof started.port) != sizeof started.port)
      throw std::runtime_error("server");
    close(pipeEnds[0]);
    return started;
  }();
  return running;
}

const std::map<std::string, std::string>& headers() {
  static const std::map<std::string, std::string> fixed{
      {"apikey", "bench-key"},
      {"Authorization", "Bearer bench-key"},
      {"X-Client-Info", "vadeviv-eduru/" + helpers::libraryVersion()}};
  return fixed;
}

std::shared_ptr<storage::ZirudezeStorageClient> client(std::shared_ptr<helpers::HTTPTransport> transport) {
  return std::make_shared<storage::ZirudezeStorageClient>(storage::StorageClientConfiguration(
      *velmoria::base::URL::parse(server().serviceURL()), headers(), storage::storageJSONEncoder(),
      storage::storageJSONDecoder(), storage::StorageHTTPSession(std::move(transport)), nullptr, false));
}

// --- Bare libcurl ---------------------------------------------------------------------------------------

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

struct BareCurl {
  CURL* easy = curl_easy_init();
  curl_slist* list = nullptr;
  std::string body;

  explicit BareCurl(const std::vector<std::string>& extra = {}) {
    for (const auto& [name, value] : headers()) list = curl_slist_append(list, (name + ": " + value).c_str());
    for (const auto& line : extra) list = curl_slist_append(list, line.c_str());
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  }
  ~BareCurl() {
    curl_slist_free_all(list);
    curl_easy_cleanup(easy);
  }
  long get(const std::string& url) {
    body.clear();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (curl_easy_perform(easy) != CURLE_OK) return 0;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
  }
};

// --- Request overhead ---------------------------------------------------------------------------------

void BM_InfoCalls_Stack(benchmark::State& state) {
  const auto files = client(helpers::CurlTransport::shared())->from("bench");
  for (auto _ : state) {
    for (int i = 0; i < kInfoCalls; ++i) benchmark::DoNotOptimize(files->info("small.txt").size);
  }
  state.counters["calls/s"] =
      benchmark::Counter(double(kInfoCalls) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_InfoCalls_BareCurl(benchmark::State& state) {
  BareCurl curl;
  const std::string url = server().serviceURL() + "/object/info/bench/small.txt";
  for (auto _ : state) {
    for (int i = 0; i < kInfoCalls; ++i) {
      if (curl.get(url) != 200) state.SkipWithError("info failed");
      benchmark::DoNotOptimize(curl.body.data());
    }
  }
  state.counters["calls/s"] =
      benchmark::Counter(double(kInfoCalls) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// What a hand-written client needs at least to use the answer: the exchange and a JSON parse.
void BM_InfoCalls_BareCurlAndJSONParse(benchmark::State& state) {
  BareCurl curl;
  const std::string url = server().serviceURL() + "/object/info/bench/small.txt";
  for (auto _ : state) {
    for (int i = 0; i < kInfoCalls; ++i) {
      if (curl.get(url) != 200) state.SkipWithError("info failed");
      benchmark::DoNotOptimize(nlohmann::json::parse(curl.body).size());
    }
  }
  state.counters["calls/s"] =
      benchmark::Counter(double(kInfoCalls) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Downloads1MiB_Stack(benchmark::State& state) {
  const auto files = client(helpers::CurlTransport::shared())->from("bench");
  for (auto _ : state) {
    for (int i = 0; i < kDownloads; ++i) {
      const auto bytes = files->download("one-mib.bin");
      if (bytes.size() != kDownloadSize) state.SkipWithError("short download");
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kDownloads * std::int64_t(kDownloadSize));
}

void BM_Downloads1MiB_BareCurl(benchmark::State& state) {
  BareCurl curl;
  const std::string url = server().serviceURL() + "/object/bench/one-mib.bin";
  for (auto _ : state) {
    for (int i = 0; i < kDownloads; ++i) {
      if (curl.get(url) != 200 || curl.body.size() != kDownloadSize) state.SkipWithError("download failed");
    }
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kDownloads * std::int64_t(kDownloadSize));
}

// --- A 100 MB file part ---------------------------------------------------------------------------------

const std::filesystem::path& uploadFile() {
  static const std::filesystem::path file = [] {
    const auto path = std::filesystem::temp_directory_path() / ("storage-bench-" + std::to_string(getpid()) + ".bin");
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 16);
    for (std::size_t written = 0; written < kUploadSize;) {
      for (auto& word : block) word = random();
      const std::size_t count = std::min(kUploadSize - written, block.size() * sizeof(std::uint64_t));
      out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(count));
      written += count;
    }
    std::atexit([] { std::filesystem::remove(uploadFile()); });
    return path;
  }();
  return file;
}

long statusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  }
  return -1;
}

struct UploadRun {
  double seconds = 0;
  long startKB = 0;
  long peakKB = 0;
  bool ok = false;
};

bool uploadWithStack() {
  auto options = storage::FileOptions();
  options.upsert = true;
  const auto files = client(std::make_shared<helpers::CurlTransport>())->from("bench");
  return files->upload("big.bin", velmoria::base::URL::fileURL(uploadFile().string()), options).fullPath ==
         "bench/big.bin";
}

bool uploadWithBareCurl() {
  BareCurl curl({"x-upsert: true", "Cache-Control: max-age=3600"});
  curl_mime* mime = curl_mime_init(curl.easy);
  curl_mimepart* cache = curl_mime_addpart(mime);
  curl_mime_name(cache, "cacheControl");
  curl_mime_data(cache, "3600", CURL_ZERO_TERMINATED);
  curl_mimepart* file = curl_mime_addpart(mime);
  curl_mime_name(file, "");
  curl_mime_filedata(file, uploadFile().c_str());
  curl_mime_type(file, "application/octet-stream");
  const std::string url = server().serviceURL() + "/object/bench/big.bin";
  curl_easy_setopt(curl.easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.easy, CURLOPT_MIMEPOST, mime);
  curl_easy_setopt(curl.easy, CURLOPT_UPLOAD_BUFFERSIZE, 2L * 1024 * 1024);
  const bool sent = curl_easy_perform(curl.easy) == CURLE_OK;
  long status = 0;
  curl_easy_getinfo(curl.easy, CURLINFO_RESPONSE_CODE, &status);
  curl_mime_free(mime);
  return sent && status == 200;
}

// Runs one upload in a child process and reports its time and memory.
UploadRun measured(bool (*upload)()) {
  uploadFile();
  server();
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    UploadRun run;
    run.startKB = statusKilobytes("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    try {
      run.ok = upload();
    } catch (...) {
      run.ok = false;
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKB = statusKilobytes("VmHWM:");
    const bool written = write(pipeEnds[1], &run, sizeof run) == sizeof run;
    _exit(written ? 0 : 1);
  }
  close(pipeEnds[1]);
  UploadRun run;
  if (read(pipeEnds[0], &run, sizeof run) != sizeof run) run.ok = false;
  close(pipeEnds[0]);
  waitpid(child, nullptr, 0);
  return run;
}

void reportUpload(benchmark::State& state, bool (*upload)()) {
  for (auto _ : state) {
    const UploadRun run = measured(upload);
    if (!run.ok) {
      state.SkipWithError("upload failed");
      break;
    }
    state.SetIterationTime(run.seconds);
    state.counters["MB/s"] = double(kUploadSize) / 1e6 / run.seconds;
    state.counters["peakAboveStartMB"] = double(run.peakKB - run.startKB) / 1000.0 * 1.024;
    state.counters["fileMB"] = double(kUploadSize) / 1e6;
  }
}

void BM_Upload100MBFile_Stack(benchmark::State& state) { reportUpload(state, &uploadWithStack); }
void BM_Upload100MBFile_BareCurl(benchmark::State& state) { reportUpload(state, &uploadWithBareCurl); }

// Both uploads in turn, so that the load of a shared machine falls on both alike: the stack's time over
// bare libcurl's as the median of the pairs' ratios, and each one's highest peak above its start.
void BM_Upload100MBFile_StackOverBareCurl(benchmark::State& state) {
  std::vector<double> ratios;
  double stackPeakMB = 0;
  double barePeakMB = 0;
  for (auto _ : state) {
    const UploadRun bare = measured(&uploadWithBareCurl);
    const UploadRun stack = measured(&uploadWithStack);
    if (!bare.ok || !stack.ok) {
      state.SkipWithError("upload failed");
      break;
    }
    state.SetIterationTime(stack.seconds);
    ratios.push_back(stack.seconds / bare.seconds);
    stackPeakMB = std::max(stackPeakMB, double(stack.peakKB - stack.startKB) / 1000.0 * 1.024);
    barePeakMB = std::max(barePeakMB, double(bare.peakKB - bare.startKB) / 1000.0 * 1.024);
  }
  if (ratios.empty()) return;
  std::sort(ratios.begin(), ratios.end());
  state.counters["timeRatio"] = ratios[ratios.size() / 2];
  state.counters["stackPeakAboveStartMB"] = stackPeakMB;
  state.counters["barePeakAboveStartMB"] = barePeakMB;
}

BENCHMARK(BM_InfoCalls_BareCurl)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_InfoCalls_BareCurlAndJSONParse)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_InfoCalls_Stack)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_Downloads1MiB_BareCurl)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_Downloads1MiB_Stack)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_Upload100MBFile_BareCurl)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_Upload100MBFile_Stack)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_Upload100MBFile_StackOverBareCurl)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

}  // namespace
