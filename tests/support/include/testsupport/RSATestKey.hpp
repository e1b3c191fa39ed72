#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

namespace velmoria::testsupport {

// An RSA key pair made by OpenSSL for signing test tokens. Copies share the key.
class RSATestKey {
 public:
  using Json = nlohmann::ordered_json;

  // A fresh key of `bits` (2048 unless given).
  static RSATestKey generate(int bits = 2048);
  // The key of an RFC 7517 style JSON object with "n", "e" and "d" (base64url), private part included.
  static RSATestKey fromJWK(const Json& jwk);

  // The public half as a JWK: "kty" "RSA", "kid", "use" "sig", "n", "e" and, when given, "alg".
  Json publicJWK(const std::string& kid, const std::string& alg = "RS256") const;
  // "<header>.<payload>.<RS256 signature>" in base64url, over the compact JSON of both.
  std::string sign(const Json& header, const Json& payload) const;
  // The base64url RS256 signature of `signingInput` as it is.
  std::string signature(const std::string& signingInput) const;

  struct Key;

 private:
  explicit RSATestKey(std::shared_ptr<Key> key) : key_(std::move(key)) {}
  std::shared_ptr<Key> key_;
};

// base64url without padding.
std::string base64URLEncoded(const std::string& bytes);
std::string base64URLDecoded(const std::string& text);

}  // namespace velmoria::testsupport
