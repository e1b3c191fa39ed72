// The current realtime client end to end on loopback, against the fake backend's realtime service:
// - database changes per second from the server to a user callback (message loop, decoding, channel
//   routing, registry), next to a bare URLSessionWebSocket reading the same frames in the same run;
// - the channel registry's dispatch with 1, 10 and 100 matching callbacks;
// - the CPU an idle connected client takes with a heartbeat every second, over 20 s.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "realtime/CallbackManager.hpp"
#include "realtime/RealtimeClientV2.hpp"
#include "realtime/URLSessionWebSocket.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeRealtime.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace {

using namespace std::chrono_literals;
using zirudeze::realtime::AnyAction;
using zirudeze::realtime::InsertAction;
using zirudeze::realtime::RealtimeClientOptions;
using zirudeze::realtime::RealtimeClientV2;
using zirudeze::realtime::URLSessionWebSocket;
using zirudeze::realtime::WebSocketEvent;

constexpr int kBatch = 2000;

struct Service {
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeWebSockets sockets{backend};
  velmoria::testsupport::FakeRealtime realtime{backend, sockets};
};

// Counts arrivals and lets the benchmark wait for a number of them.
struct Arrivals {
  std::mutex mutex;
  std::condition_variable changed;
  long count = 0;

  void add() {
    long now = 0;
    {
      const std::lock_guard lock(mutex);
      now = ++count;
    }
    if (now % kBatch == 0) changed.notify_all();
  }
  bool waitFor(long target) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 30s, [&] { return count >= target; });
  }
};

std::string insertFrame(std::int64_t id) {
  return R"({"topic":"realtime:bench","event":"postgres_changes","payload":{"ids":[)" + std::to_string(id) +
         R"(],"data":{"schema":"public","table":"todos","commit_timestamp":"2024-05-01T10:00:00.123Z",)"
         R"("type":"INSERT","columns":[{"name":"id","type":"int8"},{"name":"title","type":"text"},)"
         R"({"name":"done","type":"bool"}],"record":{"id":1,"title":"write the benchmark","done":false},)"
         R"("errors":null}}})";
}

void sendBatch(Service& service, const std::string& frame) {
  for (int i = 0; i < kBatch; ++i) service.realtime.sendText(frame);
}

void BM_ChangesToUserCallback(benchmark::State& state) {
  Service service;
  const auto client =
      RealtimeClientV2::make(*velmoria::base::URL::parse(service.realtime.url()),
                             RealtimeClientOptions(std::map<std::string, std::string>{{"apikey", "bench"}}));
  const auto channel = client->channel("bench");
  Arrivals arrivals;
  const auto token =
      channel->onPostgresChange<InsertAction>("public", "todos", std::nullopt, [&](const InsertAction& action) {
        benchmark::DoNotOptimize(action.record.size());
        arrivals.add();
      });
  channel->subscribeWithError();
  const auto accepted = channel->callbackManager()->serverChanges();
  const std::string frame = insertFrame(accepted.at(0).id);
  long expected = 0;
  for (auto _ : state) {
    sendBatch(service, frame);
    expected += kBatch;
    if (!arrivals.waitFor(expected)) state.SkipWithError("changes went missing");
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  client->disconnect();
}

void BM_ChangesToBareTransport(benchmark::State& state) {
  Service service;
  auto socket = URLSessionWebSocket::connect(
      *velmoria::base::URL::parse(service.sockets.url("/realtime/v1/websocket?apikey=bench&vsn=1.0.0")));
  Arrivals arrivals;
  socket->setOnEvent([&](const WebSocketEvent& event) {
    if (event.asText() != nullptr) arrivals.add();
  });
  if (!service.realtime.waitForConnections(1)) state.SkipWithError("no connection");
  const std::string frame = insertFrame(1);
  long expected = 0;
  for (auto _ : state) {
    sendBatch(service, frame);
    expected += kBatch;
    if (!arrivals.waitFor(expected)) state.SkipWithError("frames went missing");
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  socket->close(1000, "done");
}

void BM_CallbackManagerDispatch(benchmark::State& state) {
  using namespace zirudeze::realtime;
  CallbackManager manager;
  const auto callbacks = state.range(0);
  std::int64_t calls = 0;
  for (std::int64_t i = 0; i < callbacks; ++i) {
    manager.addPostgresCallback(PostgresJoinConfig{PostgresChangeEvent::insert, "public", "todos", std::nullopt, 0},
                                [&](const AnyAction&) { ++calls; });
  }
  manager.setServerChanges({PostgresJoinConfig{PostgresChangeEvent::all, "public", "todos", std::nullopt, 7}});
  const AnyAction action(InsertAction{{}, {}, {{"id", 1}}, RealtimeMessageV2::fromFrameText(insertFrame(7))});
  const std::vector<std::int64_t> ids{7};
  for (auto _ : state) manager.triggerPostgresChanges(ids, action);
  if (calls != state.iterations() * callbacks) state.SkipWithError("callbacks missed");
  state.SetItemsProcessed(state.iterations());
  state.counters["callbacks_per_s"] = benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kIsRate);
}

double processCPUSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The whole process (the fake service included) over 20 s of a connected client beating once a second.
void BM_IdleConnectedClient(benchmark::State& state) {
  Service service;
  RealtimeClientOptions options(std::map<std::string, std::string>{{"apikey", "bench"}});
  options.heartbeatInterval = 1;
  const auto client = RealtimeClientV2::make(*velmoria::base::URL::parse(service.realtime.url()), options);
  client->connect();
  const auto channel = client->channel("idle");
  channel->subscribeWithError();
  double share = 0;
  for (auto _ : state) {
    const double before = processCPUSeconds();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(20s);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    share = (processCPUSeconds() - before) / wall;
  }
  state.counters["cpu_percent_of_a_core"] = share * 100;
  state.counters["heartbeats"] = static_cast<double>(service.realtime.receivedWithEvent("heartbeat").size());
  client->disconnect();
}

BENCHMARK(BM_ChangesToUserCallback)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ChangesToBareTransport)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CallbackManagerDispatch)->Arg(1)->Arg(10)->Arg(100);
BENCHMARK(BM_IdleConnectedClient)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
