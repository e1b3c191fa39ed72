#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {

SSOResponse AuthClient::signInWithSSO(const ProviderID& providerId, const SSOOptions& options) const {
  return signInWithSSO(SignInWithSSORequest{.providerId = providerId.value}, options);
}

SSOResponse AuthClient::signInWithSSO(const Domain& domain, const SSOOptions& options) const {
  return signInWithSSO(SignInWithSSORequest{.domain = domain.value}, options);
}

SSOResponse AuthClient::signInWithSSO(SignInWithSSORequest request, const SSOOptions& options) const {
  const auto pkce = prepareForPKCE();
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  // The redirect travels in the body, not in the query.
  request.redirectTo = detail::redirectAddress(options.redirectTo, configuration);
  request.authMetaSecurity = detail::metaSecurity(options.captchaToken);
  request.codeChallenge = pkce.codeChallenge;
  request.codeChallengeMethod = pkce.codeChallengeMethod;
  return dependencies->api.execute(detail::postRequest(configuration, "sso", {}, request))
      .decoded<SSOResponse>(configuration.decoder);
}

}  // namespace zirudeze::auth
