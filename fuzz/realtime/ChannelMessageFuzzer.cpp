// Frame text from a server, decoded and handed to a joined channel that has a listener of every kind:
// whatever arrives, nothing escapes the channel and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "OfflineRealtimeClient.hpp"
#include "realtime/RealtimeChannelV2.hpp"

using namespace zirudeze;

namespace {

struct Joined {
  Joined() {
    channel = realtime::RealtimeChannelV2::make("realtime:room", {}, client, nullptr);
    tokens.push_back(channel->onPostgresChange<realtime::AnyAction>(
        "public", std::nullopt, std::nullopt,
        [](const realtime::AnyAction& action) { (void)action.rawMessage().payload().size(); }));
    tokens.push_back(channel->onPostgresChange<realtime::InsertAction>(
        "public", "todos", std::nullopt, [](const realtime::InsertAction& action) { (void)action.record.size(); }));
    tokens.push_back(channel->onBroadcast("*", [](const helpers::JSONObject& payload) { (void)payload.size(); }));
    tokens.push_back(channel->onPresenceChange([](const realtime::PresenceActionImpl& action) {
      for (const auto& [key, presence] : action.joins) (void)presence.state.size();
    }));
    tokens.push_back(channel->onSystem([](const realtime::RealtimeMessageV2& message) { (void)message.status(); }));
    channel->onMessage(realtime::RealtimeMessageV2(std::nullopt, std::nullopt, "realtime:room", "system",
                                                   helpers::JSONObject{{"status", "ok"}}));
  }

  std::shared_ptr<zirudeze::fuzzing::OfflineRealtimeClient> client =
      std::make_shared<zirudeze::fuzzing::OfflineRealtimeClient>();
  std::shared_ptr<realtime::RealtimeChannelV2> channel;
  std::vector<helpers::ObservationToken> tokens;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static Joined joined;
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  std::optional<realtime::RealtimeMessageV2> message;
  try {
    message = realtime::RealtimeMessageV2::fromFrameText(text);
  } catch (const velmoria::base::DecodingError&) {
    return 0;
  }
  try {
    joined.channel->onMessage(*message);
  } catch (...) {
    __builtin_trap();
  }
  return 0;
}
