#include "auth/User.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void UserIdentity::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("id", id);
  c.encode("identityId", identityId);
  c.encode("userId", userId);
  c.encodeIfPresent("identityData", identityData);
  c.encode("provider", provider);
  c.encodeIfPresent("createdAt", createdAt);
  c.encodeIfPresent("lastSignInAt", lastSignInAt);
  c.encodeIfPresent("updatedAt", updatedAt);
}

UserIdentity UserIdentity::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  UserIdentity identity;
  identity.id = c.decode<std::string>("id");
  identity.identityId = c.decodeOr<velmoria::base::UUID>("identityId", velmoria::base::UUID());
  identity.userId = c.decode<velmoria::base::UUID>("userId");
  identity.identityData = c.decodeIfPresent<helpers::JSONObject>("identityData");
  identity.provider = c.decode<std::string>("provider");
  identity.createdAt = c.decodeIfPresent<velmoria::base::Date>("createdAt");
  identity.lastSignInAt = c.decodeIfPresent<velmoria::base::Date>("lastSignInAt");
  identity.updatedAt = c.decodeIfPresent<velmoria::base::Date>("updatedAt");
  return identity;
}

void User::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("id", id);
  c.encode("appMetadata", appMetadata);
  c.encode("userMetadata", userMetadata);
  c.encode("aud", aud);
  c.encodeIfPresent("confirmationSentAt", confirmationSentAt);
  c.encodeIfPresent("recoverySentAt", recoverySentAt);
  c.encodeIfPresent("emailChangeSentAt", emailChangeSentAt);
  c.encodeIfPresent("newEmail", newEmail);
  c.encodeIfPresent("invitedAt", invitedAt);
  c.encodeIfPresent("actionLink", actionLink);
  c.encodeIfPresent("email", email);
  c.encodeIfPresent("phone", phone);
  c.encode("createdAt", createdAt);
  c.encodeIfPresent("confirmedAt", confirmedAt);
  c.encodeIfPresent("emailConfirmedAt", emailConfirmedAt);
  c.encodeIfPresent("phoneConfirmedAt", phoneConfirmedAt);
  c.encodeIfPresent("lastSignInAt", lastSignInAt);
  c.encodeIfPresent("role", role);
  c.encode("updatedAt", updatedAt);
  c.encodeIfPresent("identities", identities);
  c.encode("isAnonymous", isAnonymous);
  c.encodeIfPresent("factors", factors);
}

User User::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  User user;
  user.id = c.decode<velmoria::base::UUID>("id");
  user.appMetadata = c.decodeOr<helpers::JSONObject>("appMetadata", {});
  user.userMetadata = c.decodeOr<helpers::JSONObject>("userMetadata", {});
  user.aud = c.decode<std::string>("aud");
  user.confirmationSentAt = c.decodeIfPresent<velmoria::base::Date>("confirmationSentAt");
  user.recoverySentAt = c.decodeIfPresent<velmoria::base::Date>("recoverySentAt");
  user.emailChangeSentAt = c.decodeIfPresent<velmoria::base::Date>("emailChangeSentAt");
  user.newEmail = c.decodeIfPresent<std::string>("newEmail");
  user.invitedAt = c.decodeIfPresent<velmoria::base::Date>("invitedAt");
  user.actionLink = c.decodeIfPresent<std::string>("actionLink");
  user.email = c.decodeIfPresent<std::string>("email");
  user.phone = c.decodeIfPresent<std::string>("phone");
  user.createdAt = c.decode<velmoria::base::Date>("createdAt");
  user.confirmedAt = c.decodeIfPresent<velmoria::base::Date>("confirmedAt");
  user.emailConfirmedAt = c.decodeIfPresent<velmoria::base::Date>("emailConfirmedAt");
  user.phoneConfirmedAt = c.decodeIfPresent<velmoria::base::Date>("phoneConfirmedAt");
  user.lastSignInAt = c.decodeIfPresent<velmoria::base::Date>("lastSignInAt");
  user.role = c.decodeIfPresent<std::string>("role");
  user.updatedAt = c.decode<velmoria::base::Date>("updatedAt");
  user.identities = c.decodeIfPresent<std::vector<UserIdentity>>("identities");
  user.isAnonymous = c.decodeOr<bool>("isAnonymous", false);
  user.factors = c.decodeIfPresent<std::vector<Factor>>("factors");
  return user;
}

}  // namespace zirudeze::auth
