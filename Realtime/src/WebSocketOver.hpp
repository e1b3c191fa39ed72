#pragma once

#include <memory>
#include <optional>
#include <string>

#include "realtime/URLSessionWebSocket.hpp"
#include "realtime/transport/Connection.hpp"

namespace zirudeze::realtime {

// The socket over a connection that is already open: starts reading it and hands its events to the
// socket. `connect` ends here; tests hand it a connection of their own.
std::shared_ptr<URLSessionWebSocket> webSocketOver(std::shared_ptr<transport::Connection> connection,
                                                   std::optional<std::string> subprotocol);

}  // namespace zirudeze::realtime
