#pragma once

#include "realtime/RealtimeJoinPayload.hpp"

namespace zirudeze::realtime {

// What a channel joins with. The client's default: no acknowledgement, no own broadcasts, no replay,
// presence key "" and disabled, not private.
struct RealtimeChannelConfig {
  BroadcastJoinConfig broadcast;
  PresenceJoinConfig presence;
  bool isPrivate = false;

  friend bool operator==(const RealtimeChannelConfig&, const RealtimeChannelConfig&) = default;
};

}  // namespace zirudeze::realtime
