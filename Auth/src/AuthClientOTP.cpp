#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"
#include "auth/OTPTypes.hpp"
#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

using detail::metaSecurity;
using detail::postRequest;

void AuthClient::signInWithOTP(const Email& email, const EmailOTPOptions& options) const {
  const auto pkce = prepareForPKCE();
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const OTPParams body{
      .email = email.value,
      .createUser = options.shouldCreateUser,
      .data = options.data,
      .authMetaSecurity = metaSecurity(options.captchaToken),
      .codeChallenge = pkce.codeChallenge,
      .codeChallengeMethod = pkce.codeChallengeMethod,
  };
  dependencies->api.execute(
      postRequest(configuration, "otp", detail::redirectQuery(options.redirectTo, configuration), body));
}

void AuthClient::signInWithOTP(const Phone& phone, const PhoneOTPOptions& options) const {
  const auto dependencies = this->dependencies();
  const OTPParams body{
      .phone = phone.value,
      .createUser = options.shouldCreateUser,
      .channel = options.channel,
      .data = options.data,
      .authMetaSecurity = metaSecurity(options.captchaToken),
  };
  dependencies->api.execute(postRequest(dependencies->configuration, "otp", {}, body));
}

AuthResponse AuthClient::verifyOTP(const Email& email, const std::string& token, EmailOTPType type,
                                   const VerifyEmailOTPOptions& options) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const VerifyOTPParams body{VerifyEmailOTPParams{email.value, token, type, metaSecurity(options.captchaToken)}};
  return executeVerifyOTP(
      postRequest(configuration, "verify", detail::redirectQuery(options.redirectTo, configuration), body));
}

AuthResponse AuthClient::verifyOTP(const Phone& phone, const std::string& token, MobileOTPType type,
                                   const VerifyPhoneOTPOptions& options) const {
  const VerifyOTPParams body{VerifyMobileOTPParams{phone.value, token, type, metaSecurity(options.captchaToken)}};
  return executeVerifyOTP(postRequest(dependencies()->configuration, "verify", {}, body));
}

AuthResponse AuthClient::verifyOTP(const TokenHash& tokenHash, EmailOTPType type) const {
  const VerifyOTPParams body{VerifyTokenHashParams{tokenHash.value, type}};
  return executeVerifyOTP(postRequest(dependencies()->configuration, "verify", {}, body));
}

AuthResponse AuthClient::executeVerifyOTP(helpers::HTTPRequest request) const {
  const auto dependencies = this->dependencies();
  auto response =
      dependencies->api.execute(std::move(request)).decoded<AuthResponse>(dependencies->configuration.decoder);
  if (const auto session = response.session()) {
    dependencies->sessionManager.storeAndAnnounce(*session, {AuthChangeEvent::signedIn});
  }
  return response;
}

}  // namespace zirudeze::auth
