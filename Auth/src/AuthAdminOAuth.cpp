#include "AdminList.hpp"
#include "AuthRequest.hpp"
#include "auth/AuthAdmin.hpp"
#include "auth/Dependencies.hpp"
#include "base/coding/Coding.hpp"

namespace zirudeze::auth {
namespace {

using Method = helpers::HTTPRequest::Method;

constexpr std::string_view kClientsPath = "admin/oauth/clients";

// The list answer's body: both members required.
struct ClientsBody {
  std::vector<OAuthClient> clients;
  std::string aud;

  static ClientsBody decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    auto clients = c.decode<std::vector<OAuthClient>>("clients");
    return {std::move(clients), c.decode<std::string>("aud")};
  }
};

std::string clientPath(const velmoria::base::UUID& clientId) {
  return std::string(kClientsPath) + "/" + clientId.uuidString();
}

OAuthClient send(const Dependencies& dependencies, helpers::HTTPRequest request) {
  return dependencies.api.execute(std::move(request)).decoded<OAuthClient>(dependencies.configuration.decoder);
}

}  // namespace

ListOAuthClientsPaginatedResponse AuthAdminOAuth::listClients(const std::optional<PageParams>& params) const {
  const auto dependencies = Dependencies::get(clientID);
  const auto page = detail::listPage(*dependencies, kClientsPath, params);
  auto body = page.response.decoded<ClientsBody>(dependencies->configuration.decoder);
  return ListOAuthClientsPaginatedResponse{std::move(body.clients), std::move(body.aud), page.links.nextPage,
                                           page.links.lastPage, page.total};
}

OAuthClient AuthAdminOAuth::createClient(const CreateOAuthClientParams& params) const {
  const auto dependencies = Dependencies::get(clientID);
  return send(*dependencies, detail::postRequest(dependencies->configuration, kClientsPath, {}, params));
}

OAuthClient AuthAdminOAuth::getClient(const velmoria::base::UUID& clientId) const {
  const auto dependencies = Dependencies::get(clientID);
  return send(*dependencies, detail::plainRequest(dependencies->configuration, clientPath(clientId), Method::get()));
}

OAuthClient AuthAdminOAuth::updateClient(const velmoria::base::UUID& clientId,
                                         const UpdateOAuthClientParams& params) const {
  const auto dependencies = Dependencies::get(clientID);
  return send(*dependencies,
              detail::jsonRequest(dependencies->configuration, clientPath(clientId), Method::put(), {}, params));
}

OAuthClient AuthAdminOAuth::deleteClient(const velmoria::base::UUID& clientId) const {
  const auto dependencies = Dependencies::get(clientID);
  return send(*dependencies,
              detail::plainRequest(dependencies->configuration, clientPath(clientId), Method::delete_()));
}

OAuthClient AuthAdminOAuth::regenerateClientSecret(const velmoria::base::UUID& clientId) const {
  const auto dependencies = Dependencies::get(clientID);
  return send(*dependencies, detail::plainRequest(dependencies->configuration,
                                                  clientPath(clientId) + "/regenerate_secret", Method::post()));
}

}  // namespace zirudeze::auth
