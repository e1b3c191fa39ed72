// The legacy socket's array frames read and written, next to nlohmann's own parse and dump of the same
// bytes; presence merges and diffs over 1,000, 10,000 and 20,000 keys of 3 metas, back to back and from
// empty caches; a channel's dispatch over 1 and 100 bindings.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "realtime/legacy/Defaults.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"
#include "realtime/legacy/RealtimeClient.hpp"
#include "realtime/legacy/RealtimeMessage.hpp"

namespace {

using namespace zirudeze;
using realtime::Defaults;
using realtime::PresenceStateMap;
using realtime::RealtimeMessage;

std::string heartbeatReply() { return R"([null,"1042","phoenix","phx_reply",{"status":"ok","response":{}}])"; }

std::string broadcast() {
  std::string fields;
  for (int i = 0; i < 20; ++i) {
    fields += ",\"field_" + std::to_string(i) +
              "\":" + (i % 2 ? "\"value of field " + std::to_string(i) + "\"" : std::to_string(1000 + i));
  }
  return R"(["5",null,"realtime:room","broadcast",{"type":"broadcast","event":"cursor","payload":{"user":"ada")" +
         fields + "}}]";
}

std::string presenceState() {
  std::string members;
  for (int i = 0; i < 100; ++i) {
    members += (i ? "," : "") + std::string("\"user-") + std::to_string(i) + R"(":{"metas":[{"phx_ref":"F)" +
               std::to_string(7000 + i) + R"(","online_at":"2024-03-05T17:04:09Z","user_id":)" + std::to_string(i) +
               "}]}";
  }
  return R"(["5",null,"realtime:room","presence_state",{)" + members + "}]";
}

const std::string& frame(int which) {
  static const std::string frames[] = {heartbeatReply(), broadcast(), presenceState()};
  return frames[which];
}

void setCounters(benchmark::State& state, int which) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame(which).size()));
  static const char* names[] = {"heartbeat reply", "20-field broadcast", "100-member presence"};
  state.SetLabel(names[which]);
}

RealtimeMessage decoded(const std::string& text) { return *RealtimeMessage::fromJSON(*Defaults::decode(text)); }

helpers::AnyJSON asArray(const RealtimeMessage& message) {
  return helpers::AnyJSON(helpers::JSONArray{message.joinRef ? helpers::AnyJSON(*message.joinRef) : nullptr,
                                             message.ref.empty() ? helpers::AnyJSON() : helpers::AnyJSON(message.ref),
                                             message.topic, message.event, message.rawPayload});
}

void BM_LegacyMessageDecode(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(RealtimeMessage::fromJSON(*Defaults::decode(frame(which))));
  setCounters(state, which);
}

void BM_LegacyRawParse(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(frame(which)));
  setCounters(state, which);
}

void BM_LegacyMessageEncode(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const auto array = asArray(decoded(frame(which)));
  for (auto _ : state) benchmark::DoNotOptimize(Defaults::encode(array));
  setCounters(state, which);
}

void BM_LegacyRawDump(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const auto parsed = nlohmann::json::parse(frame(which));
  for (auto _ : state) benchmark::DoNotOptimize(parsed.dump());
  setCounters(state, which);
}

BENCHMARK(BM_LegacyMessageDecode)->DenseRange(0, 2);
BENCHMARK(BM_LegacyRawParse)->DenseRange(0, 2);
BENCHMARK(BM_LegacyMessageEncode)->DenseRange(0, 2);
BENCHMARK(BM_LegacyRawDump)->DenseRange(0, 2);

realtime::PresenceMeta meta(std::int64_t key, int index, int generation) {
  return realtime::PresenceMeta{
      {"phx_ref", "ref-" + std::to_string(key) + "-" + std::to_string(index) + "-" + std::to_string(generation)},
      {"online_at", "2024-03-05T17:04:09Z"},
      {"device", index % 2 ? "phone" : "desk"}};
}

// `keys` keys of 3 metas; `generation` renames the last meta of every key.
PresenceStateMap presence(std::int64_t keys, int generation) {
  PresenceStateMap state;
  for (std::int64_t key = 0; key < keys; ++key) {
    state.emplace("user-" + std::to_string(key),
                  realtime::PresenceEntry{{"metas", {meta(key, 0, 0), meta(key, 1, 0), meta(key, 2, generation)}}});
  }
  return state;
}

// Reads a block larger than the last-level cache, so that what runs next finds none of its data cached,
// whatever its size: a merge arrives after the rest of the app has run, and a view of 1,000 keys held
// in the cache between back-to-back merges would be compared with one of 10,000 that cannot be.
void evictCaches() {
  static const std::vector<std::uint64_t> block(std::size_t{256} << 20 >> 3, 1);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < block.size(); i += 8) sum += block[i];
  benchmark::DoNotOptimize(sum);
}

// Runs `work` once per iteration; with `cold`, the caches are emptied (untimed) before each run, after
// untimed runs that take the states from the layout they were built with to the one merges leave.
// Returns the count of untimed runs.
template <class Work>
std::int64_t measure(benchmark::State& state, bool cold, Work&& work) {
  const std::int64_t untimed = cold ? 20 : 0;
  for (std::int64_t run = 0; run < untimed; ++run) work();
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      evictCaches();
      state.ResumeTiming();
    }
    work();
  }
  return untimed;
}

// A full state arriving for a view that holds the previous one: every key's last meta changes. The view
// is handed over rather than copied, as one that only moves on does.
void presenceMergeState(benchmark::State& state, bool cold) {
  const PresenceStateMap states[] = {presence(state.range(0), 0), presence(state.range(0), 1)};
  auto current = states[0];
  std::int64_t announced = 0;
  const realtime::Presence::JoinCallback onJoin = [&](const std::string&, const auto&, const auto&) { ++announced; };
  const realtime::Presence::LeaveCallback onLeave = [&](const std::string&, const auto&, const auto&) { ++announced; };
  std::size_t next = 1;
  const std::int64_t untimed = measure(state, cold, [&] {
    current = realtime::Presence::mergeState(std::move(current), states[next], onJoin, onLeave);
    next ^= 1;
  });
  if (announced != 2 * state.range(0) * (untimed + state.iterations())) state.SkipWithError("not every key changed");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A diff that moves every key's last meta to a new connection, then one that moves it back.
void presenceApplyDiff(benchmark::State& state, bool cold) {
  auto current = presence(state.range(0), 0);
  PresenceStateMap older;
  PresenceStateMap newer;
  for (std::int64_t key = 0; key < state.range(0); ++key) {
    older.emplace("user-" + std::to_string(key), realtime::PresenceEntry{{"metas", {meta(key, 2, 0)}}});
    newer.emplace("user-" + std::to_string(key), realtime::PresenceEntry{{"metas", {meta(key, 2, 1)}}});
  }
  const realtime::PresenceDiff diffs[] = {{{"joins", newer}, {"leaves", older}}, {{"joins", older}, {"leaves", newer}}};
  std::size_t next = 0;
  measure(state, cold, [&] {
    current = realtime::Presence::applyDiff(std::move(current), diffs[next], nullptr, nullptr);
    next ^= 1;
  });
  if (current.size() != static_cast<std::size_t>(state.range(0))) state.SkipWithError("keys went missing");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PresenceMergeState(benchmark::State& state) { presenceMergeState(state, false); }
void BM_PresenceApplyDiff(benchmark::State& state) { presenceApplyDiff(state, false); }
void BM_PresenceMergeStateCold(benchmark::State& state) { presenceMergeState(state, true); }
void BM_PresenceApplyDiffCold(benchmark::State& state) { presenceApplyDiff(state, true); }

// The baseline: the same state copied once, no merging at all.
void BM_PresenceCopy(benchmark::State& state) {
  const auto current = presence(state.range(0), 0);
  for (auto _ : state) {
    auto copy = current;
    benchmark::DoNotOptimize(copy);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The other baseline, the least any merge does: reading the reference of every meta of two states. Once
// the states no longer fit the caches, this alone grows far faster than the number of keys; from there on
// it grows with them again (20,000 keys against 10,000).
void presenceReadRefs(benchmark::State& state, bool cold) {
  const PresenceStateMap states[] = {presence(state.range(0), 0), presence(state.range(0), 1)};
  std::size_t bytes = 0;
  measure(state, cold, [&] {
    for (const auto& one : states) {
      for (const auto& [key, entry] : one) {
        for (const auto& meta : entry.at("metas")) bytes += meta.at("phx_ref").stringValue()->size();
      }
    }
    benchmark::DoNotOptimize(bytes);
  });
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PresenceReadRefs(benchmark::State& state) { presenceReadRefs(state, false); }
void BM_PresenceReadRefsCold(benchmark::State& state) { presenceReadRefs(state, true); }

BENCHMARK(BM_PresenceCopy)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresenceReadRefs)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresenceMergeState)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresenceApplyDiff)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
// The same work with every run starting from empty caches; a fixed count, as each run costs an untimed
// read of the eviction block.
BENCHMARK(BM_PresenceReadRefsCold)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_PresenceMergeStateCold)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_PresenceApplyDiffCold)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(30);

class SilentTransport final : public realtime::SocketTransport {
 public:
  realtime::SocketTransportReadyState readyState() const override {
    return realtime::SocketTransportReadyState::closed;
  }
  std::shared_ptr<realtime::SocketTransportDelegate> delegate() const override { return nullptr; }
  void setDelegate(std::weak_ptr<realtime::SocketTransportDelegate>) override {}
  void connect(const std::map<std::string, std::string>&) override {}
  void disconnect(int, const std::optional<std::string>&) override {}
  void send(const velmoria::base::Data&) override {}
};

// A broadcast dispatched over `bindings` broadcast bindings, each for an event of its own; one matches.
void BM_ChannelTrigger(benchmark::State& state) {
  const auto socket = realtime::RealtimeClient::make(
      "https://bench.invalid/realtime/v1", {},
      [](const velmoria::base::URL&) { return std::make_shared<SilentTransport>(); },
      [] { return std::optional<helpers::JSONObject>(); });
  const auto channel = socket->channel("room");
  std::int64_t calls = 0;
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    channel->on("broadcast", realtime::ChannelFilter{"Event-" + std::to_string(i), {}, {}, {}},
                [&](const RealtimeMessage&) { ++calls; });
  }
  const RealtimeMessage message{
      "", "5", "realtime:room", "broadcast",
      helpers::JSONObject{{"type", "broadcast"}, {"event", "event-0"}, {"payload", helpers::JSONObject{{"x", 1}}}}};
  for (auto _ : state) channel->trigger(message);
  if (calls != state.iterations()) state.SkipWithError("the matching binding was not called once per message");
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ChannelTrigger)->Arg(1)->Arg(100);

}  // namespace
