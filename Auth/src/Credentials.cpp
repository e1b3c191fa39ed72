#include "auth/Credentials.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void UserCredentials::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("email", email);
  c.encodeIfPresent("password", password);
  c.encodeIfPresent("phone", phone);
  c.encodeIfPresent("refreshToken", refreshToken);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
}

UserCredentials UserCredentials::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  UserCredentials credentials;
  credentials.email = c.decodeIfPresent<std::string>("email");
  credentials.password = c.decodeIfPresent<std::string>("password");
  credentials.phone = c.decodeIfPresent<std::string>("phone");
  credentials.refreshToken = c.decodeIfPresent<std::string>("refreshToken");
  credentials.authMetaSecurity = c.decodeIfPresent<AuthMetaSecurity>("authMetaSecurity");
  return credentials;
}

void SignUpRequest::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("email", email);
  c.encodeIfPresent("password", password);
  c.encodeIfPresent("phone", phone);
  c.encodeIfPresent("channel", channel);
  c.encodeIfPresent("data", data);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
  c.encodeIfPresent("codeChallenge", codeChallenge);
  c.encodeIfPresent("codeChallengeMethod", codeChallengeMethod);
}

SignUpRequest SignUpRequest::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  SignUpRequest request;
  request.email = c.decodeIfPresent<std::string>("email");
  request.password = c.decodeIfPresent<std::string>("password");
  request.phone = c.decodeIfPresent<std::string>("phone");
  request.channel = c.decodeIfPresent<MessagingChannel>("channel");
  request.data = c.decodeIfPresent<helpers::JSONObject>("data");
  request.authMetaSecurity = c.decodeIfPresent<AuthMetaSecurity>("authMetaSecurity");
  request.codeChallenge = c.decodeIfPresent<std::string>("codeChallenge");
  request.codeChallengeMethod = c.decodeIfPresent<std::string>("codeChallengeMethod");
  return request;
}

void OpenIDConnectCredentials::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("provider", provider);
  c.encode("idToken", idToken);
  c.encodeIfPresent("accessToken", accessToken);
  c.encodeIfPresent("nonce", nonce);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
  c.encode("linkIdentity", linkIdentity_);
}

OpenIDConnectCredentials OpenIDConnectCredentials::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  const auto provider = c.decode<Provider>("provider");
  auto idToken = c.decode<std::string>("idToken");
  auto accessToken = c.decodeIfPresent<std::string>("accessToken");
  auto nonce = c.decodeIfPresent<std::string>("nonce");
  auto authMetaSecurity = c.decodeIfPresent<AuthMetaSecurity>("authMetaSecurity");
  OpenIDConnectCredentials credentials(provider, std::move(idToken), std::move(accessToken), std::move(nonce),
                                       std::move(authMetaSecurity));
  credentials.linkIdentity_ = c.decode<bool>("linkIdentity");
  return credentials;
}

}  // namespace zirudeze::auth
