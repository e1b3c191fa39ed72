// Loopback echo through the fake backend's echo route: URLSessionWebSocket (one process-wide I/O
// thread, events handed to the caller through a stream) next to a bare synchronous Beast client on the
// same route. One message in flight at a time; the round-trip percentiles are reported as counters, and
// so is the CPU time the client's side spent per message: the benchmark thread's, plus the I/O thread's
// for URLSessionWebSocket (the fake server's threads are the peer's and left out). The last argument 1
// runs the same echo with a busy loop on every core, started and ended by the benchmark.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "concurrency/AsyncStream.hpp"
#include "realtime/URLSessionWebSocket.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using Clock = std::chrono::steady_clock;
using zirudeze::concurrency::AsyncStream;
using zirudeze::realtime::URLSessionWebSocket;
using zirudeze::realtime::WebSocketEvent;

struct EchoServer {
  EchoServer() {
    velmoria::testsupport::WebSocketRouteOptions options;
    options.echo = true;
    options.keepFrames = false;
    sockets.route("/echo", options);
  }
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeWebSockets sockets{backend};
};

EchoServer& server() {
  static EchoServer* const instance = new EchoServer();
  return *instance;
}

// One busy loop per core while it lives.
class BusyCores {
 public:
  explicit BusyCores(bool wanted) {
    if (!wanted) return;
    for (unsigned core = 0; core < std::max(1u, std::thread::hardware_concurrency()); ++core) {
      loops_.emplace_back([this] {
        while (!done_.load(std::memory_order_relaxed)) {
        }
      });
    }
  }
  ~BusyCores() {
    done_.store(true, std::memory_order_relaxed);
    for (auto& loop : loops_) loop.join();
  }
  BusyCores(const BusyCores&) = delete;
  BusyCores& operator=(const BusyCores&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::vector<std::thread> loops_;
};

// Nanoseconds a thread of this process has run, from the scheduler's own count.
std::uint64_t threadCPU(const std::string& tid) {
  std::ifstream stat("/proc/self/task/" + tid + "/schedstat");
  std::uint64_t ran = 0;
  stat >> ran;
  return ran;
}

std::string ownTid() { return std::to_string(static_cast<long>(syscall(SYS_gettid))); }

// The realtime I/O thread, found by its name; empty before it started.
std::string ioThreadTid() {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name == "realtime-io") return task.path().filename().string();
  }
  return {};
}

// How often a thread of this process has gone to sleep (each sleep is a wake-up later).
std::uint64_t threadSleeps(const std::string& tid) {
  std::ifstream status("/proc/self/task/" + tid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stoull(line.substr(line.find(':') + 1));
  }
  return 0;
}

// The CPU time and sleeps of the given threads together.
struct ClientCPU {
  explicit ClientCPU(std::vector<std::string> given) : tids(std::move(given)) {}
  std::pair<std::uint64_t, std::uint64_t> now() const {
    std::uint64_t ran = 0;
    std::uint64_t sleeps = 0;
    for (const auto& tid : tids) {
      ran += threadCPU(tid);
      sleeps += threadSleeps(tid);
    }
    return {ran, sleeps};
  }
  std::vector<std::string> tids;
};

void report(benchmark::State& state, std::vector<double>& roundTrips, std::size_t size,
            std::pair<std::uint64_t, std::uint64_t> client) {
  const auto [clientNanos, clientSleeps] = client;
  std::sort(roundTrips.begin(), roundTrips.end());
  const auto at = [&](double share) { return roundTrips[static_cast<std::size_t>(share * (roundTrips.size() - 1))]; };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
  const auto perMessage = [&](double total) { return total / static_cast<double>(state.iterations()); };
  state.counters["client_cpu_us"] = perMessage(static_cast<double>(clientNanos) / 1000.0);
  state.counters["client_sleeps"] = perMessage(static_cast<double>(clientSleeps));
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void BM_EchoURLSessionWebSocket(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  // Echoed texts reach the waiting benchmark thread through a stream, as the realtime client's messages
  // reach its message loop.
  auto [texts, continuation] =
      AsyncStream<std::string>::makeStream(zirudeze::concurrency::BufferingPolicy::unbounded());
  auto socket = URLSessionWebSocket::connect(*velmoria::base::URL::parse(server().sockets.url("/echo")));
  socket->setOnEvent([continuation = continuation](const WebSocketEvent& event) {
    if (const auto* text = event.asText()) continuation.yield(text->text);
  });
  const std::string payload(size, 'e');
  std::vector<double> roundTrips;
  const ClientCPU cpu({ownTid(), ioThreadTid()});
  const BusyCores busy(state.range(1) != 0);
  const auto cpuBefore = cpu.now();
  for (auto _ : state) {
    const auto started = Clock::now();
    socket->send(payload);
    benchmark::DoNotOptimize(texts.next());
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
  }
  const auto cpuAfter = cpu.now();
  const std::pair cpuSpent{cpuAfter.first - cpuBefore.first, cpuAfter.second - cpuBefore.second};
  socket->close(1000, "done");
  report(state, roundTrips, size, cpuSpent);
}

// range(1): the write buffer Beast masks frames through (its default 4096, or the engine's 64 KiB).
void BM_EchoBareBeast(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  net::io_context io;
  websocket::stream<net::ip::tcp::socket> ws(io);
  net::ip::tcp::resolver resolver(io);
  net::connect(ws.next_layer(), resolver.resolve("127.0.0.1", std::to_string(server().backend.port())));
  ws.next_layer().set_option(net::ip::tcp::no_delay(true));
  ws.auto_fragment(false);
  ws.write_buffer_bytes(static_cast<std::size_t>(state.range(1)));
  ws.handshake("127.0.0.1", "/echo");
  ws.text(true);
  const std::string payload(size, 'e');
  boost::beast::flat_buffer buffer;
  std::vector<double> roundTrips;
  const ClientCPU cpu({ownTid()});
  const BusyCores busy(state.range(2) != 0);
  const auto cpuBefore = cpu.now();
  for (auto _ : state) {
    const auto started = Clock::now();
    ws.write(net::buffer(payload));
    ws.read(buffer);
    benchmark::DoNotOptimize(boost::beast::buffers_to_string(buffer.data()));
    buffer.consume(buffer.size());
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
  }
  const auto cpuAfter = cpu.now();
  const std::pair cpuSpent{cpuAfter.first - cpuBefore.first, cpuAfter.second - cpuBefore.second};
  ws.close(websocket::close_code::normal);
  report(state, roundTrips, size, cpuSpent);
}

BENCHMARK(BM_EchoURLSessionWebSocket)->Args({200, 0})->Args({200, 1})->Args({1 << 20, 0})->UseRealTime();
BENCHMARK(BM_EchoBareBeast)
    ->Args({200, 4096, 0})
    ->Args({200, 4096, 1})
    ->Args({1 << 20, 4096, 0})
    ->Args({1 << 20, 64 << 10, 0})
    ->UseRealTime();

}  // namespace
