#pragma once

#include <optional>
#include <string>
#include <vector>

#include "auth/MultiFactorTypes.hpp"
#include "base/Date.hpp"
#include "base/UUID.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth {

// Ties a user to one sign-in provider.
struct UserIdentity {
  std::string id{};
  // The all-zero UUID when the service sends none.
  velmoria::base::UUID identityId{};
  velmoria::base::UUID userId{};
  std::optional<helpers::JSONObject> identityData{};
  std::string provider{};
  std::optional<velmoria::base::Date> createdAt{};
  std::optional<velmoria::base::Date> lastSignInAt{};
  std::optional<velmoria::base::Date> updatedAt{};

  void encode(velmoria::base::Encoder& encoder) const;
  static UserIdentity decode(const velmoria::base::Decoder& decoder);
  bool operator==(const UserIdentity&) const = default;
};

// The account record of the auth service.
struct User {
  velmoria::base::UUID id{};
  helpers::JSONObject appMetadata{};
  helpers::JSONObject userMetadata{};
  std::string aud{};
  std::optional<velmoria::base::Date> confirmationSentAt{};
  std::optional<velmoria::base::Date> recoverySentAt{};
  std::optional<velmoria::base::Date> emailChangeSentAt{};
  std::optional<std::string> newEmail{};
  std::optional<velmoria::base::Date> invitedAt{};
  std::optional<std::string> actionLink{};
  std::optional<std::string> email{};
  std::optional<std::string> phone{};
  velmoria::base::Date createdAt{};
  std::optional<velmoria::base::Date> confirmedAt{};
  std::optional<velmoria::base::Date> emailConfirmedAt{};
  std::optional<velmoria::base::Date> phoneConfirmedAt{};
  std::optional<velmoria::base::Date> lastSignInAt{};
  std::optional<std::string> role{};
  velmoria::base::Date updatedAt{};
  // Absent and empty are different answers and stay apart.
  std::optional<std::vector<UserIdentity>> identities{};
  bool isAnonymous = false;
  std::optional<std::vector<Factor>> factors{};

  void encode(velmoria::base::Encoder& encoder) const;
  static User decode(const velmoria::base::Decoder& decoder);
  bool operator==(const User&) const = default;
};

}  // namespace zirudeze::auth
