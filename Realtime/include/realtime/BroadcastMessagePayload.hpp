#pragma once

#include <base/coding/Encoder.hpp>
#include <helpers/AnyJSON.hpp>
#include <string>
#include <vector>

namespace zirudeze::realtime {

// The body a channel posts when it delivers a broadcast over REST. Encoded only.
struct BroadcastMessagePayload {
  struct Message {
    std::string topic;
    std::string event;
    helpers::JSONObject payload;
    bool private_ = false;  // "private" on the wire

    void encode(base::Encoder& encoder) const;
  };

  std::vector<Message> messages;

  void encode(base::Encoder& encoder) const;
};

}  // namespace zirudeze::realtime
