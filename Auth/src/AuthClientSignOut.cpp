#include "auth/APIClient.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {

void AuthClient::signOut(SignOutScope scope) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const auto stored = dependencies->sessionStorage.get();
  if (!stored) {
    if (configuration.logger) {
      configuration.logger->emit(helpers::ZirudezeLogLevel::warning, "signOut called without a session",
                                 helpers::LogSite{"Auth/AuthClient.cpp", "signOut(scope:)", __LINE__});
    }
    return;
  }
  // The stored token as it is: an expired one still names the session to end.
  const std::string accessToken = stored->accessToken;
  if (scope != SignOutScope::others) {
    dependencies->sessionManager.remove();
    dependencies->eventEmitter->emit(AuthChangeEvent::signedOut, std::nullopt);
  }

  helpers::HTTPRequest request(configuration.url.appendingPathComponent("logout"), helpers::HTTPRequest::Method::post(),
                               {base::URLQueryItem{"scope", std::string(rawValue(scope))}},
                               http::HTTPFields{{http::HTTPField::Name::authorization(), "Bearer " + accessToken}});
  try {
    dependencies->api.execute(std::move(request));
  } catch (const AuthError& error) {
    // The user or the token is gone already: signed out all the same.
    const auto* api = error.as<AuthError::APICase>();
    const int status = api ? api->underlyingResponse.statusCode : 0;
    if (status == 404 || status == 403 || status == 401) return;
    throw;
  }
}

}  // namespace zirudeze::auth
