// Presence payloads of a legacy channel: whatever comes, the view keeps only entries the merge can follow
// (metas present, each with a text "phx_ref").
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "OfflineLegacySocket.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"

using namespace zirudeze;

namespace {

bool wellFormed(const realtime::PresenceStateMap& state) {
  for (const auto& [key, entry] : state) {
    const auto metas = entry.find("metas");
    if (metas == entry.end()) return false;
    for (const auto& meta : metas->second) {
      const auto ref = meta.find("phx_ref");
      if (ref == meta.end() || !ref->second.stringValue()) return false;
    }
  }
  return true;
}

}  // namespace

// The input is two payloads, a diff and a state, split at the first NUL byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto split = text.find('\0');
  const auto first = helpers::AnyJSON::parse(text.substr(0, split));
  const auto second = split == std::string_view::npos ? std::nullopt : helpers::AnyJSON::parse(text.substr(split + 1));
  const auto socket = zirudeze::fuzzing::offlineSocket();
  const auto channel = socket->channel("room");
  const auto presence = channel->presence();
  int calls = 0;
  presence->onJoin([&](const std::string&, const std::optional<realtime::PresenceEntry>&,
                       const realtime::PresenceEntry&) { ++calls; });
  presence->onLeave(
      [&](const std::string&, const realtime::PresenceEntry&, const realtime::PresenceEntry&) { ++calls; });
  const auto deliver = [&](const char* event, const std::optional<helpers::AnyJSON>& payload) {
    if (!payload || !payload->objectValue()) return;
    channel->trigger(realtime::RealtimeMessage{"", std::nullopt, "realtime:room", event, *payload->objectValue()});
  };
  deliver("presence_diff", first);
  deliver("presence_state", second);
  deliver("presence_state", first);
  if (!wellFormed(presence->state())) __builtin_trap();
  // The same payloads through the merge and the diff directly, on what the view holds now.
  if (first && first->objectValue()) {
    if (const auto diff = realtime::Presence::diffMap(*first->objectValue())) {
      const auto applied = realtime::Presence::applyDiff(presence->state(), *diff, nullptr, nullptr);
      if (!wellFormed(applied)) __builtin_trap();
    }
    if (const auto state = realtime::Presence::stateMap(*first->objectValue())) {
      const auto merged = realtime::Presence::mergeState(presence->state(), *state, nullptr, nullptr);
      if (!wellFormed(merged)) __builtin_trap();
    }
  }
  return 0;
}
