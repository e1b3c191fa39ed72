#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {

using Method = helpers::HTTPRequest::Method;

std::vector<UserIdentity> AuthClient::userIdentities() const {
  return user().identities.value_or(std::vector<UserIdentity>{});
}

Session AuthClient::linkIdentityWithIdToken(OpenIDConnectCredentials credentials) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const Session current = dependencies->sessionManager.session();
  credentials.linkIdentity_ = true;
  auto request =
      detail::jsonRequest(configuration, "token", Method::post(), {{"grant_type", "id_token"}}, credentials,
                          http::HTTPFields{{http::HTTPField::Name::authorization(), "Bearer " + current.accessToken}});
  auto session = dependencies->api.execute(std::move(request)).decoded<Session>(configuration.decoder);
  // Signed out or signed in anew meanwhile: the linked session belongs to a sign-in that has ended.
  dependencies->sessionManager.replaceAndAnnounce(current, session, {AuthChangeEvent::userUpdated});
  return session;
}

OAuthResponse AuthClient::getLinkIdentityURL(Provider provider, const OAuthURLOptions& options) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const velmoria::base::URL url =
      getURLForProvider(configuration.url.appendingPathComponent("user/identities/authorize"), provider,
                        ProviderURLOptions{options.scopes, options.redirectTo, options.queryParams,
                                           /*skipBrowserRedirect=*/true});
  // The answer has the single sign-on answer's shape: {"url": ...}.
  const auto answer = dependencies->api.authorizedExecute(helpers::HTTPRequest(url, Method::get()))
                          .decoded<SSOResponse>(configuration.decoder);
  return OAuthResponse{provider, answer.url};
}

void AuthClient::linkIdentity(Provider provider, const OAuthURLOptions& options,
                              const std::function<void(const velmoria::base::URL&)>& launchURL) const {
  const auto response = getLinkIdentityURL(provider, options);
  launchURL(response.url);
}

void AuthClient::linkIdentity(Provider provider, const OAuthURLOptions& options) const {
  linkIdentity(provider, options, [this](const velmoria::base::URL& url) { dependencies()->urlOpener.open(url); });
}

void AuthClient::unlinkIdentity(const UserIdentity& identity) const {
  const auto dependencies = this->dependencies();
  dependencies->api.authorizedExecute(detail::plainRequest(
      dependencies->configuration, "user/identities/" + identity.identityId.uuidString(), Method::delete_()));
}

}  // namespace zirudeze::auth
