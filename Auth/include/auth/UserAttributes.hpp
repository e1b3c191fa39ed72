#pragma once

#include <optional>
#include <string>

#include "auth/OTPTypes.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth {

// What signed-in users may change about their own account.
struct UserAttributes {
  std::optional<std::string> email{};
  std::optional<std::string> phone{};
  std::optional<std::string> password{};
  std::optional<std::string> nonce{};
  std::optional<std::string> emailChangeToken{};
  std::optional<helpers::JSONObject> data{};
  // Set by the auth client when an e-mail change runs the PKCE flow.
  std::optional<std::string> codeChallenge{};
  std::optional<std::string> codeChallengeMethod{};

  void encode(velmoria::base::Encoder& encoder) const;
  static UserAttributes decode(const velmoria::base::Decoder& decoder);
  bool operator==(const UserAttributes&) const = default;
};

// What an administrator sets when creating or updating any user.
struct AdminUserAttributes {
  std::optional<helpers::JSONObject> appMetadata{};
  std::optional<std::string> banDuration{};
  std::optional<std::string> email{};
  std::optional<bool> emailConfirm{};
  std::optional<std::string> id{};
  std::optional<std::string> nonce{};
  std::optional<std::string> password{};
  std::optional<std::string> passwordHash{};
  std::optional<std::string> phone{};
  std::optional<bool> phoneConfirm{};
  std::optional<std::string> role{};
  std::optional<helpers::JSONObject> userMetadata{};

  void encode(velmoria::base::Encoder& encoder) const;
  bool operator==(const AdminUserAttributes&) const = default;
};

// Body of the password-recovery request.
struct RecoverParams {
  std::string email{};
  std::optional<AuthMetaSecurity> authMetaSecurity{};
  std::optional<std::string> codeChallenge{};
  std::optional<std::string> codeChallengeMethod{};

  void encode(velmoria::base::Encoder& encoder) const;
  static RecoverParams decode(const velmoria::base::Decoder& decoder);
  bool operator==(const RecoverParams&) const = default;
};

}  // namespace zirudeze::auth
