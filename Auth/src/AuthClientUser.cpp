#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {

using Method = helpers::HTTPRequest::Method;

User AuthClient::user(const std::optional<std::string>& jwt) const {
  const auto dependencies = this->dependencies();
  auto request = detail::plainRequest(dependencies->configuration, "user", Method::get());
  if (!jwt)
    return dependencies->api.authorizedExecute(std::move(request)).decoded<User>(dependencies->configuration.decoder);
  request.headers.set(http::HTTPField::Name::authorization(), "Bearer " + *jwt);
  return dependencies->api.execute(std::move(request)).decoded<User>(dependencies->configuration.decoder);
}

User AuthClient::update(const UserAttributes& user, const std::optional<velmoria::base::URL>& redirectTo) const {
  UserAttributes attributes = user;
  if (attributes.email) {
    auto pkce = prepareForPKCE();
    attributes.codeChallenge = std::move(pkce.codeChallenge);
    attributes.codeChallengeMethod = std::move(pkce.codeChallengeMethod);
  }
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const Session session = dependencies->sessionManager.session();
  auto request = detail::jsonRequest(configuration, "user", Method::put(),
                                     detail::redirectQuery(redirectTo, configuration), attributes);
  request.headers.set(http::HTTPField::Name::authorization(), "Bearer " + session.accessToken);
  User updated = dependencies->api.execute(std::move(request)).decoded<User>(configuration.decoder);
  // Signed out or signed in anew meanwhile: that session is not this update's to change.
  dependencies->sessionManager.updateUser(session, updated);
  return updated;
}

}  // namespace zirudeze::auth
