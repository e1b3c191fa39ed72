// Frames of the current realtime protocol read and written, next to nlohmann's own parse (and dump)
// of the same bytes: a heartbeat reply, a 20-column INSERT and a 100-member presence state.
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "realtime/RealtimeMessageV2.hpp"

namespace {

using zirudeze::realtime::RealtimeMessageV2;

std::string heartbeatReply() {
  return R"({"event":"phx_reply","payload":{"response":{},"status":"ok"},"ref":"1042","topic":"phoenix"})";
}

std::string insertChange() {
  std::string columns;
  std::string record;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "column_" + std::to_string(i);
    columns +=
        (i ? "," : "") + std::string(R"({"name":")") + name + R"(","type":")" + (i % 2 ? "text" : "int8") + "\"}";
    record += (i ? "," : "") + std::string("\"") + name +
              "\":" + (i % 2 ? "\"value of " + name + " with some text\"" : std::to_string(1000000 + i));
  }
  return R"({"event":"postgres_changes","join_ref":"3","ref":null,"topic":"realtime:public:rows","payload":{"data":{)"
         R"("schema":"public","table":"rows","commit_timestamp":"2024-03-05T17:04:09.250Z","type":"INSERT",)"
         R"("columns":[)" +
         columns + R"(],"record":{)" + record + R"(},"errors":null},"ids":[38606455]}})";
}

std::string presenceState() {
  std::string members;
  for (int i = 0; i < 100; ++i) {
    members += (i ? "," : "") + std::string("\"user-") + std::to_string(i) + R"(":{"metas":[{"phx_ref":"F)" +
               std::to_string(7000 + i) + R"(","online_at":"2024-03-05T17:04:09Z","user_id":)" + std::to_string(i) +
               "}]}";
  }
  return R"({"event":"presence_state","join_ref":"5","ref":null,"topic":"realtime:room","payload":{)" + members + "}}";
}

const std::string& frame(int which) {
  static const std::string frames[] = {heartbeatReply(), insertChange(), presenceState()};
  return frames[which];
}

void setCounters(benchmark::State& state, int which) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame(which).size()));
  static const char* names[] = {"heartbeat reply", "20-column insert", "100-member presence"};
  state.SetLabel(names[which]);
}

void BM_MessageDecode(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(RealtimeMessageV2::fromFrameText(frame(which)));
  setCounters(state, which);
}

void BM_RawParse(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(frame(which)));
  setCounters(state, which);
}

void BM_MessageEncode(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const auto message = RealtimeMessageV2::fromFrameText(frame(which));
  for (auto _ : state) benchmark::DoNotOptimize(message.frameText());
  setCounters(state, which);
}

void BM_RawDump(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const auto parsed = nlohmann::json::parse(frame(which));
  for (auto _ : state) benchmark::DoNotOptimize(parsed.dump());
  setCounters(state, which);
}

BENCHMARK(BM_MessageDecode)->DenseRange(0, 2);
BENCHMARK(BM_RawParse)->DenseRange(0, 2);
BENCHMARK(BM_MessageEncode)->DenseRange(0, 2);
BENCHMARK(BM_RawDump)->DenseRange(0, 2);

}  // namespace
