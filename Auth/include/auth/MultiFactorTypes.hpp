#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "auth/AuthEnumerations.hpp"
#include "base/Date.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth {

enum class FactorStatus { verified, unverified };

template <>
struct RawValueTable<FactorStatus> {
  static constexpr std::string_view typeName = "FactorStatus";
  static constexpr RawValueCoding coding = RawValueCoding::encodeAndDecode;
  static constexpr std::pair<FactorStatus, std::string_view> entries[] = {
      {FactorStatus::verified, "verified"},
      {FactorStatus::unverified, "unverified"},
  };
};

// An enrolled second factor of a user.
struct Factor {
  std::string id{};
  std::optional<std::string> friendlyName{};
  std::string factorType{};
  FactorStatus status = FactorStatus::unverified;
  velmoria::base::Date createdAt{};
  velmoria::base::Date updatedAt{};

  void encode(velmoria::base::Encoder& encoder) const;
  static Factor decode(const velmoria::base::Decoder& decoder);
  bool operator==(const Factor&) const = default;
};

// Enrolment body of a time-based code factor; its factor type is always "totp".
struct MFATotpEnrollParams {
  static constexpr std::string_view factorType = "totp";
  std::optional<std::string> issuer{};
  std::optional<std::string> friendlyName{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const MFATotpEnrollParams&) const = default;
};

// Enrolment body of a phone factor; its factor type is always "phone".
struct MFAPhoneEnrollParams {
  static constexpr std::string_view factorType = "phone";
  std::optional<std::string> friendlyName{};
  std::string phone{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const MFAPhoneEnrollParams&) const = default;
};

// Any enrolment body; it is written as the body it holds.
class MFAEnrollParamsType {
 public:
  MFAEnrollParamsType(MFATotpEnrollParams params) : params_(std::move(params)) {}
  MFAEnrollParamsType(MFAPhoneEnrollParams params) : params_(std::move(params)) {}

  static MFATotpEnrollParams totp(std::optional<std::string> issuer = std::nullopt,
                                  std::optional<std::string> friendlyName = std::nullopt) {
    return {std::move(issuer), std::move(friendlyName)};
  }
  static MFAPhoneEnrollParams phone(std::optional<std::string> friendlyName, std::string phone) {
    return {std::move(friendlyName), std::move(phone)};
  }

  const std::variant<MFATotpEnrollParams, MFAPhoneEnrollParams>& params() const { return params_; }
  std::string_view factorType() const;

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const MFAEnrollParamsType&) const = default;

 private:
  std::variant<MFATotpEnrollParams, MFAPhoneEnrollParams> params_;
};

struct AuthMFAEnrollResponse {
  struct TOTP {
    std::string qrCode{};
    std::string secret{};
    std::string uri{};

    static TOTP decode(const velmoria::base::Decoder& decoder);
    bool operator==(const TOTP&) const = default;
  };

  std::string id{};
  std::string type{};
  std::optional<TOTP> totp{};
  std::optional<std::string> friendlyName{};
  std::optional<std::string> phone{};

  static AuthMFAEnrollResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AuthMFAEnrollResponse&) const = default;
};

struct MFAChallengeParams {
  std::string factorId{};
  std::optional<MessagingChannel> channel{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const MFAChallengeParams&) const = default;
};

struct MFAVerifyParams {
  std::string factorId{};
  std::string challengeId{};
  std::string code{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const MFAVerifyParams&) const = default;
};

struct MFAChallengeAndVerifyParams {
  std::string factorId{};
  std::string code{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const MFAChallengeAndVerifyParams&) const = default;
};

struct MFAUnenrollParams {
  std::string factorId{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const MFAUnenrollParams&) const = default;
};

struct AuthMFAChallengeResponse {
  std::string id{};
  std::string type{};
  double expiresAt = 0;

  static AuthMFAChallengeResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AuthMFAChallengeResponse&) const = default;
};

struct AuthMFAUnenrollResponse {
  std::string id{};

  static AuthMFAUnenrollResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AuthMFAUnenrollResponse&) const = default;
};

struct AuthMFAListFactorsResponse {
  std::vector<Factor> all{};
  std::vector<Factor> totp{};
  std::vector<Factor> phone{};

  static AuthMFAListFactorsResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AuthMFAListFactorsResponse&) const = default;
};

// One authentication method of the access token's "amr" claim.
struct AMREntry {
  std::string method{};
  double timestamp = 0;

  // From one element of the claim: an object whose "method" is a text and whose "timestamp" is a number
  // (integer or fraction); anything else gives nothing. Other members are ignored.
  static std::optional<AMREntry> fromJSON(const helpers::AnyJSON& value);

  static AMREntry decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AMREntry&) const = default;
};

struct AuthMFAGetAuthenticatorAssuranceLevelResponse {
  std::optional<std::string> currentLevel{};
  std::optional<std::string> nextLevel{};
  std::vector<AMREntry> currentAuthenticationMethods{};

  static AuthMFAGetAuthenticatorAssuranceLevelResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AuthMFAGetAuthenticatorAssuranceLevelResponse&) const = default;
};

}  // namespace zirudeze::auth
