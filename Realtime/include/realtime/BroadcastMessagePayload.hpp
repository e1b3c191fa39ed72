#pragma once

#include <string>
#include <vector>

#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::realtime {

// The body a channel posts when it delivers a broadcast over REST. Encoded only.
struct BroadcastMessagePayload {
  struct Message {
    std::string topic;
    std::string event;
    helpers::JSONObject payload;
    bool private_ = false;  // "private" on the wire

    void encode(velmoria::base::Encoder& encoder) const;
  };

  std::vector<Message> messages;

  void encode(velmoria::base::Encoder& encoder) const;
};

}  // namespace zirudeze::realtime
