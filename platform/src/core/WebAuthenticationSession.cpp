#include "platform/WebAuthenticationSession.hpp"

#include <utility>

namespace velmoria::platform {

bool UnavailableWebAuthenticationSession::start() {
  complete(std::nullopt, std::make_exception_ptr(WebAuthenticationError(
                             WebAuthenticationError::Code::unavailable,
                             "Web authentication sessions are not available on this platform.")));
  return false;
}

WebAuthenticationSessionFactory UnavailableWebAuthenticationSession::factory() {
  return [](base::URL url, std::optional<std::string> callbackURLScheme,
            WebAuthenticationSession::Completion completion) -> std::unique_ptr<WebAuthenticationSession> {
    return std::make_unique<UnavailableWebAuthenticationSession>(std::move(url), std::move(callbackURLScheme),
                                                                 std::move(completion));
  };
}

}  // namespace velmoria::platform
