#include "auth/OAuthClientTypes.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void OAuthClient::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("clientId", clientId);
  c.encode("clientName", clientName);
  c.encodeIfPresent("clientSecret", clientSecret);
  c.encode("clientType", clientType);
  c.encode("tokenEndpointAuthMethod", tokenEndpointAuthMethod);
  c.encode("registrationType", registrationType);
  c.encodeIfPresent("clientUri", clientUri);
  c.encodeIfPresent("logoUri", logoUri);
  c.encode("redirectUris", redirectUris);
  c.encode("grantTypes", grantTypes);
  c.encode("responseTypes", responseTypes);
  c.encodeIfPresent("scope", scope);
  c.encode("createdAt", createdAt);
  c.encode("updatedAt", updatedAt);
}

OAuthClient OAuthClient::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  OAuthClient client;
  client.clientId = c.decode<velmoria::base::UUID>("clientId");
  client.clientName = c.decode<std::string>("clientName");
  client.clientSecret = c.decodeIfPresent<std::string>("clientSecret");
  client.clientType = c.decode<OAuthClientType>("clientType");
  client.tokenEndpointAuthMethod = c.decode<std::string>("tokenEndpointAuthMethod");
  client.registrationType = c.decode<OAuthClientRegistrationType>("registrationType");
  client.clientUri = c.decodeIfPresent<std::string>("clientUri");
  client.logoUri = c.decodeIfPresent<std::string>("logoUri");
  client.redirectUris = c.decode<std::vector<std::string>>("redirectUris");
  client.grantTypes = c.decode<std::vector<OAuthClientGrantType>>("grantTypes");
  client.responseTypes = c.decode<std::vector<OAuthClientResponseType>>("responseTypes");
  client.scope = c.decodeIfPresent<std::string>("scope");
  client.createdAt = c.decode<velmoria::base::Date>("createdAt");
  client.updatedAt = c.decode<velmoria::base::Date>("updatedAt");
  return client;
}

void CreateOAuthClientParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("clientName", clientName);
  c.encodeIfPresent("clientUri", clientUri);
  c.encode("redirectUris", redirectUris);
  c.encodeIfPresent("grantTypes", grantTypes);
  c.encodeIfPresent("responseTypes", responseTypes);
  c.encodeIfPresent("scope", scope);
}

void UpdateOAuthClientParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("clientName", clientName);
  c.encodeIfPresent("clientUri", clientUri);
  c.encodeIfPresent("logoUri", logoUri);
  c.encodeIfPresent("redirectUris", redirectUris);
  c.encodeIfPresent("grantTypes", grantTypes);
}

}  // namespace zirudeze::auth
