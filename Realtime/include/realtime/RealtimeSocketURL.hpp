#pragma once

#include <optional>
#include <string>

#include "base/URL.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

// "https" becomes "wss" and "http" "ws"; other schemes, and a URL that does not parse, stay as they are.
velmoria::base::URL webSocketSchemeURL(const velmoria::base::URL& url);

// The socket URL of a realtime base URL: its own query items, then "apikey" (when given), "vsn" "1.0.0"
// and "log_level" (when given); "/websocket" appended to the path, every "//" in it made "/". A URL that
// does not parse comes back unchanged.
velmoria::base::URL realtimeWebSocketURL(const velmoria::base::URL& url, const std::optional<std::string>& apikey,
                                         std::optional<LogLevel> logLevel);

}  // namespace zirudeze::realtime
