#include "auth/UserAttributes.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void UserAttributes::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("email", email);
  c.encodeIfPresent("phone", phone);
  c.encodeIfPresent("password", password);
  c.encodeIfPresent("nonce", nonce);
  c.encodeIfPresent("emailChangeToken", emailChangeToken);
  c.encodeIfPresent("data", data);
  c.encodeIfPresent("codeChallenge", codeChallenge);
  c.encodeIfPresent("codeChallengeMethod", codeChallengeMethod);
}

UserAttributes UserAttributes::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  UserAttributes attributes;
  attributes.email = c.decodeIfPresent<std::string>("email");
  attributes.phone = c.decodeIfPresent<std::string>("phone");
  attributes.password = c.decodeIfPresent<std::string>("password");
  attributes.nonce = c.decodeIfPresent<std::string>("nonce");
  attributes.emailChangeToken = c.decodeIfPresent<std::string>("emailChangeToken");
  attributes.data = c.decodeIfPresent<helpers::JSONObject>("data");
  attributes.codeChallenge = c.decodeIfPresent<std::string>("codeChallenge");
  attributes.codeChallengeMethod = c.decodeIfPresent<std::string>("codeChallengeMethod");
  return attributes;
}

void AdminUserAttributes::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("appMetadata", appMetadata);
  c.encodeIfPresent("banDuration", banDuration);
  c.encodeIfPresent("email", email);
  c.encodeIfPresent("emailConfirm", emailConfirm);
  c.encodeIfPresent("id", id);
  c.encodeIfPresent("nonce", nonce);
  c.encodeIfPresent("password", password);
  c.encodeIfPresent("passwordHash", passwordHash);
  c.encodeIfPresent("phone", phone);
  c.encodeIfPresent("phoneConfirm", phoneConfirm);
  c.encodeIfPresent("role", role);
  c.encodeIfPresent("userMetadata", userMetadata);
}

void RecoverParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("email", email);
  c.encodeIfPresent("authMetaSecurity", authMetaSecurity);
  c.encodeIfPresent("codeChallenge", codeChallenge);
  c.encodeIfPresent("codeChallengeMethod", codeChallengeMethod);
}

RecoverParams RecoverParams::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  RecoverParams params;
  params.email = c.decode<std::string>("email");
  params.authMetaSecurity = c.decodeIfPresent<AuthMetaSecurity>("authMetaSecurity");
  params.codeChallenge = c.decodeIfPresent<std::string>("codeChallenge");
  params.codeChallengeMethod = c.decodeIfPresent<std::string>("codeChallengeMethod");
  return params;
}

}  // namespace zirudeze::auth
