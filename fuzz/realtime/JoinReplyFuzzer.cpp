// A join reply from a server: its accepted subscriptions read back as what they encode to.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "realtime/RealtimeJoinPayload.hpp"

using namespace zirudeze;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto payload = helpers::AnyJSON::parse(text);
  if (!payload || !payload->objectValue()) return 0;
  const realtime::RealtimeMessageV2 reply("1", "1", "realtime:room", "phx_reply", *payload->objectValue());
  try {
    const auto accepted = realtime::acceptedPostgresChanges(reply);
    if (!accepted) return 0;
    for (const auto& config : *accepted) {
      if (config.id == 0) continue;  // an id of 0 is not written, so it would not read back
      const auto again = helpers::JSONDecoder::shared().decode<realtime::PostgresJoinConfig>(
          velmoria::base::JSONEncoder{}.encodeToString(config));
      if (!(again == config) || again.id != config.id || !realtime::matches(config, again)) __builtin_trap();
    }
  } catch (const velmoria::base::DecodingError&) {
  }
  return 0;
}
