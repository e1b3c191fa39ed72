// The live filter on real traffic between two private network namespaces (root only; skipped
// elsewhere): how long a blocked ClientHello takes from its capture to its flow being in the drop
// set, and the daemon's CPU while 200 new TLS flows a second run.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <optional>
#include <queue>
#include <stdexcept>
#include <thread>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "Command.hpp"
#include "NetworkNamespaces.hpp"
#include "TestServers.hpp"
#include "velmoria_filter/FilterDaemon.hpp"

namespace {

using namespace velmoria::filter;
using namespace std::chrono_literals;
using live::NamespacePair;

std::vector<std::uint8_t> testData(const std::string& name) {
  std::ifstream in(std::string(FILTER_TEST_DATA) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// 1,000 entries, one of them the blocked name of the recorded hellos.
std::vector<std::string> blocklist() {
  std::vector<std::string> domains{"blocked.example"};
  for (int i = 1; i < 1000; ++i) domains.push_back("site" + std::to_string(i) + ".example");
  return domains;
}

std::filesystem::path writeConfiguration(const std::filesystem::path& folder) {
  const auto file = folder / "network-extension.json";
  const nlohmann::json preferences{
      {"filterConfiguration",
       {{"enabled", true},
        {"providerConfiguration", {{"vendorConfiguration", {{"mac.blockedDomains", blocklist()}}}}}}}};
  std::ofstream(file) << preferences.dump();
  return file;
}

// Accepts on port 443, reads what the client sends until it has a request's worth, answers with
// `answerBytes` and closes; blocked clients are simply read until they go away.
class TcpServer {
 public:
  TcpServer(const std::string& ns, std::size_t requestBytes, std::size_t answerBytes)
      : requestBytes_(requestBytes), answerBytes_(answerBytes) {
    listener_ = std::async(std::launch::async, [&] {
                  live::enterNamespace(ns);
                  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                  const int yes = 1;
                  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
                  sockaddr_in address{};
                  address.sin_family = AF_INET;
                  address.sin_port = htons(443);
                  ::inet_pton(AF_INET, NamespacePair::serverV4, &address.sin_addr);
                  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
                  ::listen(fd, 1024);
                  return fd;
                }).get();
    acceptor_ = std::thread([this] {
      for (;;) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) return;
        std::thread([this, connection] { serve(connection); }).detach();
      }
    });
  }
  ~TcpServer() {
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
  }

 private:
  void serve(int connection) const {
    const timeval timeout{3, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::vector<char> buffer(16384);
    std::size_t received = 0;
    while (received < requestBytes_) {
      const auto n = ::recv(connection, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      received += static_cast<std::size_t>(n);
    }
    if (received >= requestBytes_) {
      const std::vector<char> answer(answerBytes_, 'x');
      static_cast<void>(::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL));
    }
    ::close(connection);
  }

  std::size_t requestBytes_;
  std::size_t answerBytes_;
  int listener_ = -1;
  std::thread acceptor_;
};

struct Scratch {
  std::filesystem::path path;
  Scratch() {
    char name[] = "/tmp/velmoria-bench-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~Scratch() { std::filesystem::remove_all(path); }
};

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[at];
}

void BM_CaptureToDropSet(benchmark::State& state) {
  std::string whyNot;
  auto made = NamespacePair::make(whyNot);
  if (!made) {
    state.SkipWithError(("needs network namespaces: " + whyNot).c_str());
    return;
  }
  const auto& pair = *made;
  const Scratch scratch;
  const auto configuration = writeConfiguration(scratch.path);
  const auto hello = testData("hello-chromium.bin");  // www.shop.blocked.example, 1.8 KB
  TcpServer server(pair.server(), 1u << 30, 0);

  std::mutex mutex;
  std::condition_variable enforced;
  std::optional<std::chrono::nanoseconds> latency;
  std::promise<void> started;
  int status = -1;
  std::thread daemonThread([&] {
    live::enterNamespace(pair.client());
    auto log = std::make_shared<NullFilterLog>();
    WebFilterProvider provider(log);
    NftablesEnforcer enforcer;
    FilterDaemon daemon(provider, configuration,
                        {enforcer, [] { return std::make_unique<LiveCapture>(); }, log, nullptr,
                         [&](const FlowDecision&, std::chrono::system_clock::time_point captured) {
                           const auto now = std::chrono::system_clock::now();
                           const std::lock_guard lock(mutex);
                           latency = now - captured;
                           enforced.notify_all();
                         }});
    started.set_value();
    status = daemon.run();
  });
  started.get_future().wait();

  const auto oneFlow = [&]() -> std::optional<std::chrono::nanoseconds> {
    {
      const std::lock_guard lock(mutex);
      latency.reset();
    }
    // The kernel may hand out the ports of a flow still in the drop set: that connect is refused, the
    // next one gets other ports.
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
      try {
        fd = live::socketIn(pair.client(), SOCK_STREAM, NamespacePair::serverV4, 443);
      } catch (const std::runtime_error&) {
        if (attempt == 10) throw;
      }
    }
    static_cast<void>(::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL));
    std::unique_lock lock(mutex);
    enforced.wait_for(lock, 2s, [&] { return latency.has_value(); });
    const auto seen = latency;
    lock.unlock();
    ::close(fd);
    return seen;
  };
  // The first flows also wait for the daemon to take up the configuration.
  for (int i = 0; i < 50 && !oneFlow(); ++i) {
  }

  std::vector<double> micros;
  for (auto _ : state) {
    const auto seen = oneFlow();
    if (!seen) {
      state.SkipWithError("a blocked flow was not enforced within 2 s");
      break;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(*seen).count());
    state.SetIterationTime(std::chrono::duration<double>(*seen).count());
  }
  ::pthread_kill(daemonThread.native_handle(), SIGTERM);
  daemonThread.join();
  if (!micros.empty()) {
    state.counters["median_us"] = percentile(micros, 0.5);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = percentile(micros, 1.0);
  }
}
BENCHMARK(BM_CaptureToDropSet)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

std::uint64_t cpuNanoseconds(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
  std::uint64_t running = 0;
  in >> running;
  return running;
}

// Browser-like flows: a ClientHello (one in ten blocked), a 4 KB request in four writes, a 16 KB
// answer, then the end.
void BM_DaemonCpuAt200FlowsPerSecond(benchmark::State& state) {
  std::string whyNot;
  auto made = NamespacePair::make(whyNot);
  if (!made) {
    state.SkipWithError(("needs network namespaces: " + whyNot).c_str());
    return;
  }
  const auto& pair = *made;
  const Scratch scratch;
  const auto configuration = writeConfiguration(scratch.path);
  const auto blocked = testData("hello-chromium.bin");
  const auto allowed = testData("hello-curl.bin");
  TcpServer server(pair.server(), allowed.size() + 4096, 16384);
  live::BackgroundProcess daemon(
      {"ip", "netns", "exec", pair.client(), FILTER_EXECUTABLE, "--config", configuration.string()},
      scratch.path / "daemon.log");
  std::this_thread::sleep_for(500ms);

  constexpr int flowsPerSecond = 200;
  const auto seconds = static_cast<int>(state.range(0));
  std::mutex mutex;
  std::condition_variable wake;
  std::queue<int> flows;
  bool done = false;
  std::atomic<int> completed{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 32; ++w) {
    workers.emplace_back([&] {
      live::enterNamespace(pair.client());
      const std::vector<char> request(1024, 'r');
      std::vector<char> answer(16384);
      for (;;) {
        int flow = 0;
        {
          std::unique_lock lock(mutex);
          wake.wait(lock, [&] { return done || !flows.empty(); });
          if (flows.empty()) return;
          flow = flows.front();
          flows.pop();
        }
        const auto& hello = flow % 10 == 0 ? blocked : allowed;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(443);
        ::inet_pton(AF_INET, NamespacePair::serverV4, &address.sin_addr);
        const timeval timeout{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
          static_cast<void>(::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL));
          for (int i = 0; i < 4; ++i) static_cast<void>(::send(fd, request.data(), request.size(), MSG_NOSIGNAL));
          while (::recv(fd, answer.data(), answer.size(), 0) > 0) {
          }
        }
        ::close(fd);
        ++completed;
      }
    });
  }

  for (auto _ : state) {
    const auto cpuBefore = cpuNanoseconds(daemon.pid());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < flowsPerSecond * seconds; ++i) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000 / flowsPerSecond) * i);
      {
        const std::lock_guard lock(mutex);
        flows.push(i);
      }
      wake.notify_one();
    }
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto cpu = static_cast<double>(cpuNanoseconds(daemon.pid()) - cpuBefore) / 1e9;
    state.SetIterationTime(elapsed);
    state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / elapsed;
    state.counters["flows_per_second"] = flowsPerSecond * seconds / elapsed;
  }
  {
    const std::lock_guard lock(mutex);
    done = true;
  }
  wake.notify_all();
  for (auto& worker : workers) worker.join();
  state.counters["flows_completed"] = completed.load();
  daemon.stop(SIGTERM);
  const auto log = live::readFile(scratch.path / "daemon.log");
  int drops = 0;
  for (std::size_t at = 0; (at = log.find("enforced drop", at)) != std::string::npos; ++at) ++drops;
  state.counters["drops_enforced"] = drops;
}
BENCHMARK(BM_DaemonCpuAt200FlowsPerSecond)->Arg(5)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
