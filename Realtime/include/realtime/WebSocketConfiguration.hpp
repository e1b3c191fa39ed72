#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace zirudeze::realtime {

// What a WebSocket connection is opened with besides its URL.
struct WebSocketConfiguration {
  // Sent with the handshake. A later field replaces an earlier one of the same name (any case); the
  // handshake's own fields (Host, Upgrade, Connection, Sec-WebSocket-*) are never replaced.
  std::vector<std::pair<std::string, std::string>> httpAdditionalHeaders;
  // How long opening takes at most (resolve, connect, TLS and upgrade together), and how long a close
  // with a code waits for the server's close frame.
  std::chrono::milliseconds handshakeLimit = std::chrono::seconds(60);
};

}  // namespace zirudeze::realtime
