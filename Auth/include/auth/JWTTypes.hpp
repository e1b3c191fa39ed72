#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/Data.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"

// Tokens and keys carry registered member names ("key_ops", "session_id", ...): these types read and
// write them exactly as registered, whatever key strategy the coder has.

namespace zirudeze::auth {

// One public signing key of the auth service.
struct JWK {
  std::string kty{};
  std::optional<std::vector<std::string>> keyOps{};
  std::optional<std::string> alg{};
  std::optional<std::string> kid{};
  std::optional<std::string> n{};
  std::optional<std::string> e{};
  std::optional<std::string> crv{};
  std::optional<std::string> x{};
  std::optional<std::string> y{};
  std::optional<std::string> k{};

  void encode(velmoria::base::Encoder& encoder) const;
  static JWK decode(const velmoria::base::Decoder& decoder);
  bool operator==(const JWK&) const = default;
};

struct JWKS {
  std::vector<JWK> keys{};

  void encode(velmoria::base::Encoder& encoder) const;
  static JWKS decode(const velmoria::base::Decoder& decoder);
  bool operator==(const JWKS&) const = default;
};

struct JWTHeader {
  std::string alg{};
  std::optional<std::string> kid{};
  std::optional<std::string> typ{};

  void encode(velmoria::base::Encoder& encoder) const;
  static JWTHeader decode(const velmoria::base::Decoder& decoder);
  bool operator==(const JWTHeader&) const = default;
};

// The "aud" claim: one audience or several.
class AudienceClaim {
 public:
  AudienceClaim(std::string audience) : value_(std::move(audience)) {}
  AudienceClaim(std::vector<std::string> audiences) : value_(std::move(audiences)) {}

  const std::string* string() const { return std::get_if<std::string>(&value_); }
  const std::vector<std::string>* array() const { return std::get_if<std::vector<std::string>>(&value_); }

  void encode(velmoria::base::Encoder& encoder) const;
  // A text, else a list of texts, else a type mismatch "Expected String or [String] for audience claim".
  static AudienceClaim decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AudienceClaim&) const = default;

 private:
  std::variant<std::string, std::vector<std::string>> value_;
};

// A coding key made from any text or integer.
struct AnyCodingKey {
  std::string stringValue{};
  std::optional<int> intValue{};

  explicit AnyCodingKey(std::string text) : stringValue(std::move(text)) {}
  explicit AnyCodingKey(int value) : stringValue(std::to_string(value)), intValue(value) {}
  bool operator==(const AnyCodingKey&) const = default;
};

// The claims of an access token. Times are seconds since 1970-01-01 UTC; an integer on the wire reads
// as the same number.
struct JWTClaims {
  std::optional<std::string> iss{};
  std::optional<std::string> sub{};
  std::optional<AudienceClaim> aud{};
  std::optional<double> exp{};
  std::optional<double> iat{};
  std::optional<double> nbf{};
  std::optional<std::string> jti{};
  std::optional<std::string> role{};
  std::optional<std::string> aal{};
  std::optional<std::string> sessionId{};
  std::optional<std::string> email{};
  std::optional<std::string> phone{};
  std::optional<helpers::JSONObject> appMetadata{};
  std::optional<helpers::JSONObject> userMetadata{};
  // Every other top-level member, under its name as sent.
  helpers::JSONObject additionalClaims{};

  void encode(velmoria::base::Encoder& encoder) const;
  static JWTClaims decode(const velmoria::base::Decoder& decoder);
  bool operator==(const JWTClaims&) const = default;
};

struct JWTClaimsResponse {
  JWTClaims claims;
  JWTHeader header;
  velmoria::base::Data signature{};

  bool operator==(const JWTClaimsResponse&) const = default;
};

struct GetClaimsOptions {
  bool allowExpired = false;
  // A key set the caller already holds.
  std::optional<JWKS> jwks{};

  bool operator==(const GetClaimsOptions&) const = default;
};

}  // namespace zirudeze::auth
