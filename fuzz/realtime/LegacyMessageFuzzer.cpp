// Frames of the legacy socket: the bytes decode into a message or into nothing, and a message survives
// being written as an array and read again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "realtime/legacy/Defaults.hpp"
#include "realtime/legacy/RealtimeMessage.hpp"

using namespace zirudeze;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto json = realtime::Defaults::decode(text);
  if (!json) return 0;
  const auto message = realtime::RealtimeMessage::fromJSON(*json);
  if (!message) return 0;
  (void)message->payload();
  (void)message->status();
  (void)message->description();
  const helpers::AnyJSON array(helpers::JSONArray{message->joinRef ? helpers::AnyJSON(*message->joinRef) : nullptr,
                                                  message->ref, message->topic, message->event, message->rawPayload});
  velmoria::base::Data written;
  try {
    written = realtime::Defaults::encode(array);
  } catch (const std::exception&) {
    return 0;  // text that is not UTF-8 cannot be written back
  }
  const auto again = realtime::Defaults::decode(written);
  if (!again) __builtin_trap();
  const auto reread = realtime::RealtimeMessage::fromJSON(*again);
  if (!reread || !(*reread == *message)) __builtin_trap();
  return 0;
}
