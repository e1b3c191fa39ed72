#include "realtime/BroadcastMessagePayload.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::realtime {

void BroadcastMessagePayload::Message::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("topic", topic);
  c.encode("event", event);
  c.encode("payload", payload);
  c.encode("private", private_);
}

void BroadcastMessagePayload::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("messages", messages);
}

}  // namespace zirudeze::realtime
