#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/URL.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "httptypes/HTTPFields.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

inline constexpr double kDefaultHeartbeatInterval = 25;
inline constexpr double kDefaultReconnectDelay = 7;
inline constexpr double kDefaultTimeoutInterval = 10;
inline constexpr bool kDefaultDisconnectOnSessionLoss = true;
inline constexpr bool kDefaultConnectOnSubscribe = true;
inline constexpr std::int64_t kDefaultMaxRetryAttempts = 5;

// Gives the current access token, or none; may throw. Called from the client's own threads.
using AccessTokenProvider = std::function<std::optional<std::string>()>;

// How the current realtime client is set up. Empty callbacks and a null logger mean "none".
struct RealtimeClientOptions {
  // Parameters in field order, every one with its default; invalid header names are dropped.
  explicit RealtimeClientOptions(
      const std::map<std::string, std::string>& headers = {}, double heartbeatInterval = kDefaultHeartbeatInterval,
      double reconnectDelay = kDefaultReconnectDelay, double timeoutInterval = kDefaultTimeoutInterval,
      bool disconnectOnSessionLoss = kDefaultDisconnectOnSessionLoss,
      bool connectOnSubscribe = kDefaultConnectOnSubscribe, std::int64_t maxRetryAttempts = kDefaultMaxRetryAttempts,
      std::optional<LogLevel> logLevel = std::nullopt, helpers::FetchOperation fetch = {},
      AccessTokenProvider accessToken = {}, std::shared_ptr<const helpers::ZirudezeLogger> logger = nullptr);

  // Sent on the WebSocket handshake; the client needs an "apikey" field among them.
  http::HTTPFields headers;
  double heartbeatInterval;  // seconds
  double reconnectDelay;     // seconds
  double timeoutInterval;    // seconds a channel waits for its join reply
  bool disconnectOnSessionLoss;
  bool connectOnSubscribe;
  std::int64_t maxRetryAttempts;
  std::optional<LogLevel> logLevel;
  helpers::FetchOperation fetch;
  AccessTokenProvider accessToken;
  std::shared_ptr<const helpers::ZirudezeLogger> logger;
};

// The older way to configure the current client; its `apiKey` is not used (the key reaches the
// client only through an "apikey" header).
struct RealtimeClientV2Configuration {
  RealtimeClientV2Configuration(velmoria::base::URL url, std::string apiKey, std::map<std::string, std::string> headers,
                                double heartbeatInterval, double reconnectDelay, double timeoutInterval,
                                bool disconnectOnSessionLoss, bool connectOnSubscribe,
                                std::shared_ptr<const helpers::ZirudezeLogger> logger);

  velmoria::base::URL url;
  std::string apiKey;
  std::map<std::string, std::string> headers;
  double heartbeatInterval;
  double reconnectDelay;
  double timeoutInterval;
  bool disconnectOnSessionLoss;
  bool connectOnSubscribe;
  std::shared_ptr<const helpers::ZirudezeLogger> logger;

  // The options a client built from this configuration runs with: 5 join attempts, no log level,
  // no fetch and no token provider, whatever else is set.
  RealtimeClientOptions options() const;
};

}  // namespace zirudeze::realtime
