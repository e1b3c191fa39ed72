#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "auth/AuthEnumerations.hpp"
#include "auth/Credentials.hpp"
#include "auth/OTPTypes.hpp"
#include "auth/User.hpp"
#include "base/URL.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"

namespace zirudeze::auth {

struct ResendEmailParams {
  ResendEmailType type = ResendEmailType::signup;
  std::string email{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const ResendEmailParams&) const = default;
};

struct ResendMobileParams {
  ResendMobileType type = ResendMobileType::sms;
  std::string phone{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const ResendMobileParams&) const = default;
};

struct ResendMobileResponse {
  std::optional<std::string> messageId{};

  static ResendMobileResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const ResendMobileResponse&) const = default;
};

struct DeleteUserRequest {
  bool shouldSoftDelete = false;

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const DeleteUserRequest&) const = default;
};

// Starts single sign-on by provider id or by domain.
struct SignInWithSSORequest {
  std::optional<std::string> providerId{};
  std::optional<std::string> domain{};
  std::optional<velmoria::base::URL> redirectTo{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};
  std::optional<std::string> codeChallenge{};
  std::optional<std::string> codeChallengeMethod{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const SignInWithSSORequest&) const = default;
};

// The address the user opens to sign in with single sign-on.
struct SSOResponse {
  velmoria::base::URL url;

  void encode(velmoria::base::Encoder& encoder) const;
  static SSOResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const SSOResponse&) const = default;
};

struct OAuthResponse {
  Provider provider;
  velmoria::base::URL url;

  void encode(velmoria::base::Encoder& encoder) const;
  static OAuthResponse decode(const velmoria::base::Decoder& decoder);
  bool operator==(const OAuthResponse&) const = default;
};

// Paging of the admin user list.
struct PageParams {
  std::optional<std::int64_t> page{};
  std::optional<std::int64_t> perPage{};

  bool operator==(const PageParams&) const = default;
};

struct ListUsersPaginatedResponse {
  std::vector<User> users{};
  std::string aud{};
  std::optional<std::int64_t> nextPage{};
  std::int64_t lastPage = 0;
  std::int64_t total = 0;

  bool operator==(const ListUsersPaginatedResponse&) const = default;
};

}  // namespace zirudeze::auth
