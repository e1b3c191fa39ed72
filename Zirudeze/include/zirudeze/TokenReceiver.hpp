#pragma once

#include <functional>
#include <string>

namespace zirudeze {

// Takes each new access token the facade announces (the user's, or the project key after a sign-out) and
// returns once it has taken it, so tokens never overtake each other.
using TokenReceiver = std::function<void(const std::string& token)>;

// The receivers after the functions client, in push order: the legacy realtime client's, then the
// current realtime client's. Tests put recorders here; an empty legacy slot is the legacy client itself,
// an empty current slot receives nothing.
struct RealtimeTokenReceivers {
  TokenReceiver legacy = nullptr;
  TokenReceiver current = nullptr;
};

}  // namespace zirudeze
