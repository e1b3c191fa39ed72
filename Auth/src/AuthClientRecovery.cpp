#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/AuthError.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {

using detail::metaSecurity;
using detail::postRequest;

void AuthClient::resend(const Email& email, ResendEmailType type, const ResendEmailOptions& options) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const ResendEmailParams body{type, email.value, metaSecurity(options.captchaToken)};
  dependencies->api.execute(
      postRequest(configuration, "resend", detail::redirectQuery(options.emailRedirectTo, configuration), body));
}

ResendMobileResponse AuthClient::resend(const Phone& phone, ResendMobileType type,
                                        const ResendPhoneOptions& options) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const ResendMobileParams body{type, phone.value, metaSecurity(options.captchaToken)};
  return dependencies->api.execute(postRequest(configuration, "resend", {}, body))
      .decoded<ResendMobileResponse>(configuration.decoder);
}

void AuthClient::reauthenticate() const {
  const auto dependencies = this->dependencies();
  dependencies->api.authorizedExecute(
      detail::plainRequest(dependencies->configuration, "reauthenticate", helpers::HTTPRequest::Method::get()));
}

void AuthClient::resetPasswordForEmail(const std::string& email, const ResetPasswordOptions& options) const {
  const auto pkce = prepareForPKCE();
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const RecoverParams body{email, metaSecurity(options.captchaToken), pkce.codeChallenge, pkce.codeChallengeMethod};
  dependencies->api.execute(
      postRequest(configuration, "recover", detail::redirectQuery(options.redirectTo, configuration), body));
}

Session AuthClient::refreshSession(const std::optional<std::string>& refreshToken) const {
  const auto dependencies = this->dependencies();
  if (refreshToken) return dependencies->sessionManager.refreshSession(*refreshToken);
  return dependencies->sessionManager.refreshStored();
}

}  // namespace zirudeze::auth
