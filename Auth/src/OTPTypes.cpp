#include "auth/OTPTypes.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void AuthMetaSecurity::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("captchaToken", captchaToken);
}

AuthMetaSecurity AuthMetaSecurity::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<std::string>("captchaToken")};
}

void OTPParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("email", email);
  c.encodeIfPresent("phone", phone);
  c.encode("createUser", createUser);
  c.encodeIfPresent("channel", channel);
  c.encodeIfPresent("data", data);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
  c.encodeIfPresent("codeChallenge", codeChallenge);
  c.encodeIfPresent("codeChallengeMethod", codeChallengeMethod);
}

OTPParams OTPParams::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  OTPParams params;
  params.email = c.decodeIfPresent<std::string>("email");
  params.phone = c.decodeIfPresent<std::string>("phone");
  params.createUser = c.decode<bool>("createUser");
  params.channel = c.decodeIfPresent<MessagingChannel>("channel");
  params.data = c.decodeIfPresent<helpers::JSONObject>("data");
  params.authMetaSecurity = c.decodeIfPresent<AuthMetaSecurity>("authMetaSecurity");
  params.codeChallenge = c.decodeIfPresent<std::string>("codeChallenge");
  params.codeChallengeMethod = c.decodeIfPresent<std::string>("codeChallengeMethod");
  return params;
}

void VerifyEmailOTPParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("email", email);
  c.encode("token", token);
  c.encode("type", type);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
}

void VerifyMobileOTPParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("phone", phone);
  c.encode("token", token);
  c.encode("type", type);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
}

void VerifyTokenHashParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("tokenHash", tokenHash);
  c.encode("type", type);
}

void VerifyOTPParams::encode(velmoria::base::Encoder& encoder) const {
  std::visit([&](const auto& body) { body.encode(encoder); }, payload);
}

}  // namespace zirudeze::auth
