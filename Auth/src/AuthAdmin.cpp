#include "auth/AuthAdmin.hpp"

#include <stdexcept>

#include "AdminList.hpp"
#include "AuthRequest.hpp"
#include "auth/Dependencies.hpp"
#include "base/coding/Coding.hpp"

namespace zirudeze::auth {
namespace {

using Method = helpers::HTTPRequest::Method;

// The list answer's body: both members required.
struct UsersBody {
  std::vector<User> users;
  std::string aud;

  static UsersBody decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    auto users = c.decode<std::vector<User>>("users");
    return {std::move(users), c.decode<std::string>("aud")};
  }
};

std::string userPath(const velmoria::base::UUID& uid) { return "admin/users/" + uid.uuidString(); }

template <class Answer>
Answer send(const Dependencies& dependencies, helpers::HTTPRequest request) {
  return dependencies.api.execute(std::move(request)).decoded<Answer>(dependencies.configuration.decoder);
}

}  // namespace

User AuthAdmin::getUserById(const velmoria::base::UUID& uid) const {
  const auto dependencies = Dependencies::get(clientID);
  return send<User>(*dependencies, detail::plainRequest(dependencies->configuration, userPath(uid), Method::get()));
}

User AuthAdmin::updateUserById(const velmoria::base::UUID& uid, const AdminUserAttributes& attributes) const {
  const auto dependencies = Dependencies::get(clientID);
  return send<User>(*dependencies,
                    detail::jsonRequest(dependencies->configuration, userPath(uid), Method::put(), {}, attributes));
}

User AuthAdmin::createUser(const AdminUserAttributes& attributes) const {
  const auto dependencies = Dependencies::get(clientID);
  return send<User>(*dependencies, detail::postRequest(dependencies->configuration, "admin/users", {}, attributes));
}

User AuthAdmin::inviteUserByEmail(const std::string& email, const std::optional<helpers::JSONObject>& data,
                                  const std::optional<velmoria::base::URL>& redirectTo) const {
  const auto dependencies = Dependencies::get(clientID);
  const auto& configuration = dependencies->configuration;
  helpers::JSONObject body{{"email", helpers::AnyJSON(email)}, {"data", helpers::AnyJSON(nullptr)}};
  if (data) body.insert_or_assign("data", helpers::AnyJSON(*data));
  return send<User>(*dependencies, detail::postRequest(configuration, "admin/invite",
                                                       detail::redirectQuery(redirectTo, configuration), body));
}

void AuthAdmin::deleteUser(const velmoria::base::UUID& id, bool shouldSoftDelete) const {
  const auto dependencies = Dependencies::get(clientID);
  dependencies->api.execute(detail::jsonRequest(dependencies->configuration, userPath(id), Method::delete_(), {},
                                                DeleteUserRequest{shouldSoftDelete}));
}

void AuthAdmin::deleteUser(const std::string& id, bool shouldSoftDelete) const {
  const auto uuid = velmoria::base::UUID::fromString(id);
  if (!uuid) throw std::invalid_argument("deleteUser: \"" + id + "\" is not a UUID");
  deleteUser(*uuid, shouldSoftDelete);
}

ListUsersPaginatedResponse AuthAdmin::listUsers(const std::optional<PageParams>& params) const {
  const auto dependencies = Dependencies::get(clientID);
  const auto page = detail::listPage(*dependencies, "admin/users", params);
  auto body = page.response.decoded<UsersBody>(dependencies->configuration.decoder);
  return ListUsersPaginatedResponse{std::move(body.users), std::move(body.aud), page.links.nextPage,
                                    page.links.lastPage, page.total};
}

}  // namespace zirudeze::auth
