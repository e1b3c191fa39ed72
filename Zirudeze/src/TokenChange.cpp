#include "TokenChange.hpp"

#include <algorithm>

#include "zirudeze/ZirudezeClient.hpp"

namespace zirudeze::detail {

std::optional<std::string> handleTokenChanged(std::optional<std::string>& changedAccessToken,
                                              auth::AuthChangeEvent event, const std::optional<auth::Session>& session,
                                              const std::string& key) {
  const auto& pushEvents = ZirudezeClient::tokenPushEvents;
  const bool pushes = std::find(pushEvents.begin(), pushEvents.end(), event) != pushEvents.end();
  const auto token = session ? std::optional<std::string>(session->accessToken) : std::nullopt;
  if (pushes && token != changedAccessToken) {
    changedAccessToken = token;
    return token ? *token : key;
  }
  if (event == auth::AuthChangeEvent::signedOut) {
    changedAccessToken.reset();
    return key;
  }
  return std::nullopt;
}

}  // namespace zirudeze::detail
