#pragma once

#include <optional>
#include <string>

#include "auth/AuthClientID.hpp"
#include "auth/OAuthClientTypes.hpp"
#include "auth/ResendAndSSOTypes.hpp"
#include "auth/User.hpp"
#include "auth/UserAttributes.hpp"
#include "base/URL.hpp"
#include "base/UUID.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth {

// The OAuth clients registered with the auth service. A plain value holding its auth client's id; the
// configured headers authorise every request (no session token is sent).
struct AuthAdminOAuth {
  AuthClientID clientID = 0;

  // GET "admin/oauth/clients" with "page" and "per_page" (empty when not given).
  ListOAuthClientsPaginatedResponse listClients(const std::optional<PageParams>& params = std::nullopt) const;
  OAuthClient createClient(const CreateOAuthClientParams& params) const;
  OAuthClient getClient(const velmoria::base::UUID& clientId) const;
  OAuthClient updateClient(const velmoria::base::UUID& clientId, const UpdateOAuthClientParams& params) const;
  // The deleted client as the service answers it: an answer without one is a decoding error, although
  // the client is gone.
  OAuthClient deleteClient(const velmoria::base::UUID& clientId) const;
  OAuthClient regenerateClientSecret(const velmoria::base::UUID& clientId) const;
};

// Every user account of the auth service. A plain value holding its auth client's id; the configured
// headers authorise every request (no session token is sent). User ids travel in upper case.
struct AuthAdmin {
  AuthClientID clientID = 0;

  AuthAdminOAuth oauth() const { return AuthAdminOAuth{clientID}; }

  User getUserById(const velmoria::base::UUID& uid) const;
  User updateUserById(const velmoria::base::UUID& uid, const AdminUserAttributes& attributes) const;
  User createUser(const AdminUserAttributes& attributes) const;
  // Sends {"email", "data"} ("data" null when none is given); the redirect falls back to the configured one.
  User inviteUserByEmail(const std::string& email, const std::optional<helpers::JSONObject>& data = std::nullopt,
                         const std::optional<velmoria::base::URL>& redirectTo = std::nullopt) const;
  void deleteUser(const velmoria::base::UUID& id, bool shouldSoftDelete = false) const;
  // The id as text: anything but a UUID is refused with std::invalid_argument before a request is made.
  void deleteUser(const std::string& id, bool shouldSoftDelete = false) const;
  // GET "admin/users" with "page" and "per_page" (empty when not given).
  ListUsersPaginatedResponse listUsers(const std::optional<PageParams>& params = std::nullopt) const;
};

}  // namespace zirudeze::auth
