#include "auth/JWTTypes.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void JWK::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.exactKeyContainer();
  c.encode("kty", kty);
  c.encodeIfPresent("key_ops", keyOps);
  c.encodeIfPresent("alg", alg);
  c.encodeIfPresent("kid", kid);
  c.encodeIfPresent("n", n);
  c.encodeIfPresent("e", e);
  c.encodeIfPresent("crv", crv);
  c.encodeIfPresent("x", x);
  c.encodeIfPresent("y", y);
  c.encodeIfPresent("k", k);
}

JWK JWK::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.exactKeyContainer();
  JWK key;
  key.kty = c.decode<std::string>("kty");
  key.keyOps = c.decodeIfPresent<std::vector<std::string>>("key_ops");
  key.alg = c.decodeIfPresent<std::string>("alg");
  key.kid = c.decodeIfPresent<std::string>("kid");
  key.n = c.decodeIfPresent<std::string>("n");
  key.e = c.decodeIfPresent<std::string>("e");
  key.crv = c.decodeIfPresent<std::string>("crv");
  key.x = c.decodeIfPresent<std::string>("x");
  key.y = c.decodeIfPresent<std::string>("y");
  key.k = c.decodeIfPresent<std::string>("k");
  return key;
}

void JWKS::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.exactKeyContainer();
  c.encode("keys", keys);
}

JWKS JWKS::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.exactKeyContainer();
  return {c.decode<std::vector<JWK>>("keys")};
}

void JWTHeader::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.exactKeyContainer();
  c.encode("alg", alg);
  c.encodeIfPresent("kid", kid);
  c.encodeIfPresent("typ", typ);
}

JWTHeader JWTHeader::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.exactKeyContainer();
  JWTHeader header;
  header.alg = c.decode<std::string>("alg");
  header.kid = c.decodeIfPresent<std::string>("kid");
  header.typ = c.decodeIfPresent<std::string>("typ");
  return header;
}

void AudienceClaim::encode(velmoria::base::Encoder& encoder) const {
  std::visit([&](const auto& value) { encoder.encode(value); }, value_);
}

AudienceClaim AudienceClaim::decode(const velmoria::base::Decoder& decoder) {
  if (decoder.json().is_string()) return AudienceClaim(decoder.json().get<std::string>());
  try {
    return AudienceClaim(decoder.decode<std::vector<std::string>>());
  } catch (const velmoria::base::DecodingError&) {
  }
  throw velmoria::base::DecodingError::typeMismatch(
      "AudienceClaim", {decoder.codingPath(), "Expected String or [String] for audience claim"});
}

namespace {

constexpr std::array<std::string_view, 14> kRegisteredClaims = {
    "iss",  "sub", "aud",        "exp",   "iat",   "nbf",          "jti",
    "role", "aal", "session_id", "email", "phone", "app_metadata", "user_metadata",
};

bool isRegisteredClaim(std::string_view name) {
  return std::find(kRegisteredClaims.begin(), kRegisteredClaims.end(), name) != kRegisteredClaims.end();
}

}  // namespace

void JWTClaims::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.exactKeyContainer();
  c.encodeIfPresent("iss", iss);
  c.encodeIfPresent("sub", sub);
  c.encodeIfPresent("aud", aud);
  c.encodeIfPresent("exp", exp);
  c.encodeIfPresent("iat", iat);
  c.encodeIfPresent("nbf", nbf);
  c.encodeIfPresent("jti", jti);
  c.encodeIfPresent("role", role);
  c.encodeIfPresent("aal", aal);
  c.encodeIfPresent("session_id", sessionId);
  c.encodeIfPresent("email", email);
  c.encodeIfPresent("phone", phone);
  c.encodeIfPresent("app_metadata", appMetadata);
  c.encodeIfPresent("user_metadata", userMetadata);
  // Beside the registered members, at the top level, as they came.
  for (const auto& [name, value] : additionalClaims) c.encode(name, value);
}

JWTClaims JWTClaims::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.exactKeyContainer();
  JWTClaims claims;
  claims.iss = c.decodeIfPresent<std::string>("iss");
  claims.sub = c.decodeIfPresent<std::string>("sub");
  claims.aud = c.decodeIfPresent<AudienceClaim>("aud");
  claims.exp = c.decodeIfPresent<double>("exp");
  claims.iat = c.decodeIfPresent<double>("iat");
  claims.nbf = c.decodeIfPresent<double>("nbf");
  claims.jti = c.decodeIfPresent<std::string>("jti");
  claims.role = c.decodeIfPresent<std::string>("role");
  claims.aal = c.decodeIfPresent<std::string>("aal");
  claims.sessionId = c.decodeIfPresent<std::string>("session_id");
  claims.email = c.decodeIfPresent<std::string>("email");
  claims.phone = c.decodeIfPresent<std::string>("phone");
  claims.appMetadata = c.decodeIfPresent<helpers::JSONObject>("app_metadata");
  claims.userMetadata = c.decodeIfPresent<helpers::JSONObject>("user_metadata");

  const velmoria::base::Json& object = decoder.json();
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (isRegisteredClaim(it.key())) continue;
    try {
      claims.additionalClaims.insert_or_assign(it.key(), velmoria::base::Coding<helpers::AnyJSON>::decode(
                                                             velmoria::base::Decoder(it.value(), decoder, it.key())));
    } catch (const velmoria::base::DecodingError&) {
      // A claim that cannot be read is left out, never an error.
    }
  }
  return claims;
}

}  // namespace zirudeze::auth
