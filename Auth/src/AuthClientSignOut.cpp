#include "auth/APIClient.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {

void AuthClient::signOut(SignOutScope scope) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  // Reading the session and ending it are one step: a refresh or sign-in cannot come between.
  const auto stored = scope == SignOutScope::others
                          ? dependencies->sessionStorage.get()
                          : dependencies->sessionManager.endSession([](const Session&) { return true; });
  if (!stored) {
    if (configuration.logger) {
      configuration.logger->emit(helpers::ZirudezeLogLevel::warning, "signOut called without a session",
                                 helpers::LogSite{"Auth/AuthClient.cpp", "signOut(scope:)", __LINE__});
    }
    return;
  }

  // The stored token as it is: an expired one still names the session to end.
  helpers::HTTPRequest request(
      configuration.url.appendingPathComponent("logout"), helpers::HTTPRequest::Method::post(),
      {velmoria::base::URLQueryItem{"scope", std::string(rawValue(scope))}},
      http::HTTPFields{{http::HTTPField::Name::authorization(), "Bearer " + stored->accessToken}});
  const helpers::HTTPResponse response = dependencies->api.send(std::move(request));
  if (response.statusCode >= 200 && response.statusCode <= 299) return;
  // A clean-up code ends the stored session only while it is still this one: for "global" and "local"
  // it is gone already, so nothing is announced twice.
  const AuthError error = dependencies->api.handleError(response, RequestSession{stored->accessToken, std::nullopt});
  // The user or the token is gone already: signed out all the same, whatever the answer's code.
  if (response.statusCode == 404 || response.statusCode == 403 || response.statusCode == 401) return;
  throw error;
}

}  // namespace zirudeze::auth
