#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "concurrency/AsyncStream.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/StreamAdapters.hpp"
#include "concurrency/Task.hpp"

using namespace zirudeze::helpers;

namespace {

struct ClientState {
  int counter = 0;
  std::vector<int> pending;
};

// Every backend client's state change goes through withValue, including a copy of its record.
void BM_LockIsolatedWithValue(benchmark::State& state) {
  static LockIsolated<ClientState> shared(ClientState{0, std::vector<int>(4, 1)});
  for (auto _ : state) {
    shared.withValue([](ClientState& s) { ++s.counter; });
  }
}
BENCHMARK(BM_LockIsolatedWithValue)->Threads(1)->Threads(8)->UseRealTime();

void BM_StreamThroughput(benchmark::State& state) {
  const int producers = static_cast<int>(state.range(0));
  constexpr int perProducer = 20000;
  for (auto _ : state) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
      threads.emplace_back([c = continuation] {
        for (int i = 0; i < perProducer; ++i) c.yield(i);
      });
    }
    std::thread finisher([&threads, c = continuation] {
      for (auto& t : threads) t.join();
      c.finish();
    });
    long count = 0;
    for (const int value : stream) count += value >= 0;
    finisher.join();
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * producers * perProducer);
}
BENCHMARK(BM_StreamThroughput)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_TaskSpawnAndValue(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(Task<int>([] { return 1; }).value());
  }
}
BENCHMARK(BM_TaskSpawnAndValue)->UseRealTime();

void BM_MegaYieldDefault(benchmark::State& state) {
  for (auto _ : state) megaYield();
}
BENCHMARK(BM_MegaYieldDefault)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
