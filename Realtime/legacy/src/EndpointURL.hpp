#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/URL.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::realtime::detail {

// The socket URL of an endpoint: "websocket" appended to the path unless it holds "/websocket" already,
// then exactly the query items "vsn" and one per param (its value's description). Throws
// std::invalid_argument with "Malformed URL: " + endPoint, or "Malformed URL while adding parameters".
velmoria::base::URL legacyEndpointURL(const std::string& endPoint, const std::optional<helpers::JSONObject>& params,
                                      const std::string& vsn);

// The token a socket starts with: the last blank-separated piece of a text "Authorization" param, else a
// text "apikey" param (names exact), else none.
std::optional<std::string> tokenFromParams(const std::optional<helpers::JSONObject>& params);

// "https://h/p" as the REST broadcast of a socket endpoint: a leading "ws" becomes "http", a trailing
// "/socket/websocket", "/socket" or "/websocket" (and a final slash) goes, then every trailing slash, and
// "/api/broadcast" follows.
std::string broadcastEndpointText(std::string endPoint);

}  // namespace zirudeze::realtime::detail
