#pragma once

#include <optional>
#include <string>
#include <variant>

#include "auth/AuthEnumerations.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth {

// The captcha answer that rides inside many request bodies.
struct AuthMetaSecurity {
  std::string captchaToken{};

  void encode(velmoria::base::Encoder& encoder) const;
  static AuthMetaSecurity decode(const velmoria::base::Decoder& decoder);
  bool operator==(const AuthMetaSecurity&) const = default;
};

// Body of the one-time-code request.
struct OTPParams {
  std::optional<std::string> email{};
  std::optional<std::string> phone{};
  bool createUser = false;
  std::optional<MessagingChannel> channel{};
  std::optional<helpers::JSONObject> data{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};
  std::optional<std::string> codeChallenge{};
  std::optional<std::string> codeChallengeMethod{};

  void encode(velmoria::base::Encoder& encoder) const;
  static OTPParams decode(const velmoria::base::Decoder& decoder);
  bool operator==(const OTPParams&) const = default;
};

struct VerifyEmailOTPParams {
  std::string email{};
  std::string token{};
  EmailOTPType type = EmailOTPType::email;
  std::optional<AuthMetaSecurity> authMetaSecurity{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const VerifyEmailOTPParams&) const = default;
};

struct VerifyMobileOTPParams {
  std::string phone{};
  std::string token{};
  MobileOTPType type = MobileOTPType::sms;
  std::optional<AuthMetaSecurity> authMetaSecurity{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const VerifyMobileOTPParams&) const = default;
};

struct VerifyTokenHashParams {
  std::string tokenHash{};
  EmailOTPType type = EmailOTPType::email;

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const VerifyTokenHashParams&) const = default;
};

// Body of the verify request: exactly the payload's object, with no marker of which form it is.
struct VerifyOTPParams {
  std::variant<VerifyEmailOTPParams, VerifyMobileOTPParams, VerifyTokenHashParams> payload;

  void encode(velmoria::base::Encoder& encoder) const;
};

}  // namespace zirudeze::auth
