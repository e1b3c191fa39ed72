#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "auth/JWTTypes.hpp"
#include "base/Data.hpp"
#include "helpers/JWT.hpp"

namespace zirudeze::auth {

// The DER tag-length-value of `bytes` under `tag`, with the definite length in its shortest form.
velmoria::base::Data derEncode(std::uint8_t tag, const velmoria::base::Data& bytes);

// An RSA public key, ready to check signatures. Copies share the key; safe from any thread.
class RSAPublicKey {
 public:
  int sizeInBits() const;
  // RSASSA-PKCS1-v1_5 over the SHA-256 digest of `message`.
  bool verifiesSHA256Signature(const velmoria::base::Data& message, const velmoria::base::Data& signature) const;

  struct Handle;

 private:
  explicit RSAPublicKey(std::shared_ptr<const Handle> handle) : handle_(std::move(handle)) {}
  friend std::optional<RSAPublicKey> rsaPublicKey(const JWK& jwk);

  std::shared_ptr<const Handle> handle_;
};

// The key of a JWK of type "RSA" for RS256: "alg" absent (it is optional) or "RS256", "n" and "e" valid
// base64url. Nothing for any other key, or for numbers that make no valid key.
std::optional<RSAPublicKey> rsaPublicKey(const JWK& jwk);

// True when the token's signature over "<header>.<payload>" is a valid RS256 signature by the JWK's key;
// false for anything else, a JWK that gives no key included.
bool verifyRS256(const helpers::DecodedJWT& token, const JWK& jwk);

}  // namespace zirudeze::auth
