#include "realtime/RealtimeClientOptions.hpp"

#include <utility>

#include "helpers/HTTPFieldsBridging.hpp"

namespace zirudeze::realtime {

RealtimeClientOptions::RealtimeClientOptions(const std::map<std::string, std::string>& headers,
                                             double heartbeatInterval, double reconnectDelay, double timeoutInterval,
                                             bool disconnectOnSessionLoss, bool connectOnSubscribe,
                                             std::int64_t maxRetryAttempts, std::optional<LogLevel> logLevel,
                                             helpers::FetchOperation fetch, AccessTokenProvider accessToken,
                                             std::shared_ptr<const helpers::ZirudezeLogger> logger)
    : headers(helpers::fieldsFromDictionary(headers)),
      heartbeatInterval(heartbeatInterval),
      reconnectDelay(reconnectDelay),
      timeoutInterval(timeoutInterval),
      disconnectOnSessionLoss(disconnectOnSessionLoss),
      connectOnSubscribe(connectOnSubscribe),
      maxRetryAttempts(maxRetryAttempts),
      logLevel(logLevel),
      fetch(std::move(fetch)),
      accessToken(std::move(accessToken)),
      logger(std::move(logger)) {}

RealtimeClientV2Configuration::RealtimeClientV2Configuration(velmoria::base::URL url, std::string apiKey,
                                                             std::map<std::string, std::string> headers,
                                                             double heartbeatInterval, double reconnectDelay,
                                                             double timeoutInterval, bool disconnectOnSessionLoss,
                                                             bool connectOnSubscribe,
                                                             std::shared_ptr<const helpers::ZirudezeLogger> logger)
    : url(std::move(url)),
      apiKey(std::move(apiKey)),
      headers(std::move(headers)),
      heartbeatInterval(heartbeatInterval),
      reconnectDelay(reconnectDelay),
      timeoutInterval(timeoutInterval),
      disconnectOnSessionLoss(disconnectOnSessionLoss),
      connectOnSubscribe(connectOnSubscribe),
      logger(std::move(logger)) {}

RealtimeClientOptions RealtimeClientV2Configuration::options() const {
  return RealtimeClientOptions(headers, heartbeatInterval, reconnectDelay, timeoutInterval, disconnectOnSessionLoss,
                               connectOnSubscribe, kDefaultMaxRetryAttempts, std::nullopt, {}, {}, logger);
}

}  // namespace zirudeze::realtime
