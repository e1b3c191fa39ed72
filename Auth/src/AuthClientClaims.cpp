#include <chrono>

#include "JWKSCache.hpp"
#include "Numbers.hpp"
#include "auth/AuthClient.hpp"
#include "auth/AuthError.hpp"
#include "auth/Dependencies.hpp"
#include "auth/RSAKeys.hpp"
#include "helpers/JWT.hpp"

namespace zirudeze::auth {
namespace {

std::optional<std::string> text(const helpers::JSONObject& object, const std::string& name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->second.stringValue()) return std::nullopt;
  return *found->second.stringValue();
}

}  // namespace

JWTClaimsResponse AuthClient::getClaims(const std::optional<std::string>& jwt, const GetClaimsOptions& options) const {
  const auto dependencies = this->dependencies();
  const std::string token = jwt ? *jwt : dependencies->sessionManager.session().accessToken;
  const auto decoded = helpers::JWT::decode(token);
  if (!decoded) throw AuthError::jwtVerificationFailed("Invalid JWT structure");

  if (!options.allowExpired) {
    const double now = std::chrono::duration<double>(dependencies->date().time_since_epoch()).count();
    const auto exp = detail::number(decoded->payload, "exp");
    if (exp && *exp <= now) throw AuthError::jwtVerificationFailed("JWT has expired");
  }

  const auto alg = text(decoded->header, "alg");
  const auto kid = text(decoded->header, "kid");
  bool verifiedHere = false;
  // Only RS256 is checked here; symmetric keys never leave the service, other algorithms go to it.
  if (alg && alg->rfind("HS", 0) != 0 && kid) {
    const auto key = fetchJWK(*kid, options.jwks);
    if (key && *alg == "RS256") {
      const auto publicKey = detail::checkedRSAKey(*key);
      const bool valid =
          publicKey &&
          publicKey->verifiesSHA256Signature(
              velmoria::base::dataFromString(decoded->raw.first + "." + decoded->raw.second), decoded->signature);
      if (!valid) throw AuthError::jwtVerificationFailed("Invalid JWT signature");
      verifiedHere = true;
    }
  }
  if (!verifiedHere) user(token);

  const auto& decoder = dependencies->configuration.decoder;
  return JWTClaimsResponse{
      .claims = decoder.decodeJson<JWTClaims>(helpers::AnyJSON(decoded->payload).value()),
      .header = decoder.decodeJson<JWTHeader>(helpers::AnyJSON(decoded->header).value()),
      .signature = decoded->signature,
  };
}

}  // namespace zirudeze::auth
