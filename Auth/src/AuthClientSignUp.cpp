#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"

namespace zirudeze::auth {

using detail::metaSecurity;
using detail::postRequest;

namespace {

const std::vector<velmoria::base::URLQueryItem> kPasswordGrant{{"grant_type", "password"}};

}  // namespace

AuthResponse AuthClient::signUp(const Email& email, const std::string& password,
                                const EmailSignUpOptions& options) const {
  // Before the request: in the PKCE flow the verifier is stored even when the sign-up then fails.
  const auto pkce = prepareForPKCE();
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const SignUpRequest body{
      .email = email.value,
      .password = password,
      .data = options.data,
      .authMetaSecurity = metaSecurity(options.captchaToken),
      .codeChallenge = pkce.codeChallenge,
      .codeChallengeMethod = pkce.codeChallengeMethod,
  };
  return signUpWithRequest(
      postRequest(configuration, "signup", detail::redirectQuery(options.redirectTo, configuration), body));
}

AuthResponse AuthClient::signUp(const Phone& phone, const std::string& password,
                                const PhoneSignUpOptions& options) const {
  const SignUpRequest body{
      .password = password,
      .phone = phone.value,
      .channel = options.channel,
      .data = options.data,
      .authMetaSecurity = metaSecurity(options.captchaToken),
  };
  return signUpWithRequest(postRequest(dependencies()->configuration, "signup", {}, body));
}

// The same answer as a verification's: a session is stored and announced, a user alone is not.
AuthResponse AuthClient::signUpWithRequest(helpers::HTTPRequest request) const {
  return executeVerifyOTP(std::move(request));
}

Session AuthClient::signIn(const Email& email, const std::string& password,
                           const PasswordSignInOptions& options) const {
  const UserCredentials body{
      .email = email.value, .password = password, .authMetaSecurity = metaSecurity(options.captchaToken)};
  return signInWithRequest(postRequest(dependencies()->configuration, "token", kPasswordGrant, body));
}

Session AuthClient::signIn(const Phone& phone, const std::string& password,
                           const PasswordSignInOptions& options) const {
  const UserCredentials body{
      .password = password, .phone = phone.value, .authMetaSecurity = metaSecurity(options.captchaToken)};
  return signInWithRequest(postRequest(dependencies()->configuration, "token", kPasswordGrant, body));
}

Session AuthClient::signInWithIdToken(const OpenIDConnectCredentials& credentials) const {
  return signInWithRequest(
      postRequest(dependencies()->configuration, "token", {{"grant_type", "id_token"}}, credentials));
}

Session AuthClient::signInAnonymously(const AnonymousSignInOptions& options) const {
  const SignUpRequest body{.data = options.data, .authMetaSecurity = metaSecurity(options.captchaToken)};
  return signInWithRequest(postRequest(dependencies()->configuration, "signup", {}, body));
}

Session AuthClient::signInWithRequest(helpers::HTTPRequest request) const {
  const auto dependencies = this->dependencies();
  auto session = dependencies->api.execute(std::move(request)).decoded<Session>(dependencies->configuration.decoder);
  dependencies->sessionManager.storeAndAnnounce(session, {AuthChangeEvent::signedIn});
  return session;
}

}  // namespace zirudeze::auth
