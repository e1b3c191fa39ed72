// Presence state and diff payloads from a server: they decode into presences or fail with a decoding
// error, and every decoded presence keeps the first meta's reference.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#include "realtime/PresenceV2.hpp"

using namespace zirudeze;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto payload = helpers::AnyJSON::parse(text);
  if (!payload || !payload->objectValue()) return 0;
  const realtime::RealtimeMessageV2 state(std::nullopt, std::nullopt, "realtime:room", "presence_state",
                                          *payload->objectValue());
  try {
    const auto action = realtime::presenceStateAction(state);
    for (const auto& [key, presence] : action.joins) {
      const auto& entry = *payload->objectValue()->at(key).objectValue();
      const auto& first = *entry.at("metas").arrayValue()->front().objectValue();
      if (*first.at("phx_ref").stringValue() != presence.ref || presence.state.count("phx_ref") != 0) __builtin_trap();
    }
  } catch (const velmoria::base::DecodingError&) {
  }
  try {
    const auto diff = realtime::presenceDiffAction(state);
    (void)diff.joins.size();
  } catch (const velmoria::base::DecodingError&) {
  }
  return 0;
}
