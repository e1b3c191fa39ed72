#include "auth/ResendAndSSOTypes.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void ResendEmailParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("type", type);
  c.encode("email", email);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
}

void ResendMobileParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("type", type);
  c.encode("phone", phone);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
}

ResendMobileResponse ResendMobileResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decodeIfPresent<std::string>("messageId")};
}

void DeleteUserRequest::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("shouldSoftDelete", shouldSoftDelete);
}

void SignInWithSSORequest::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("providerId", providerId);
  c.encodeIfPresent("domain", domain);
  c.encodeIfPresent("redirectTo", redirectTo);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
  c.encodeIfPresent("codeChallenge", codeChallenge);
  c.encodeIfPresent("codeChallengeMethod", codeChallengeMethod);
}

void SSOResponse::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("url", url);
}

SSOResponse SSOResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<velmoria::base::URL>("url")};
}

void OAuthResponse::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("provider", provider);
  c.encode("url", url);
}

OAuthResponse OAuthResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  const auto provider = c.decode<Provider>("provider");
  return {provider, c.decode<velmoria::base::URL>("url")};
}

}  // namespace zirudeze::auth
