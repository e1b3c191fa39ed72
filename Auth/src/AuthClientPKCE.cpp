#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"
#include "base/URLComponents.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::auth {

PKCEParameters AuthClient::prepareForPKCE() const {
  const auto dependencies = this->dependencies();
  if (dependencies->configuration.flowType != AuthFlowType::pkce) return {};
  const std::string verifier = dependencies->pkce.generateCodeVerifier();
  dependencies->codeVerifierStorage.set(verifier);
  std::string challenge = dependencies->pkce.generateCodeChallenge(verifier);
  std::string method = challenge == verifier ? "plain" : "s256";
  return PKCEParameters{std::move(challenge), std::move(method)};
}

bool AuthClient::isPKCEFlow(const std::map<std::string, std::string>& params) const {
  const auto verifier = dependencies()->codeVerifierStorage.get();
  if (params.empty()) return false;
  if (params.contains("code") || params.contains("error_description") || params.contains("error")) return true;
  return params.contains("error_code") && verifier.has_value();
}

velmoria::base::URL AuthClient::getURLForProvider(const velmoria::base::URL& url, Provider provider,
                                                  const ProviderURLOptions& options) const {
  auto components = velmoria::base::URLComponents::parse(url.absoluteString());
  if (!components) throw helpers::URLError(helpers::URLError::Code::badURL, url.absoluteString());

  const auto dependencies = this->dependencies();
  std::vector<velmoria::base::URLQueryItem> items{{"provider", std::string(rawValue(provider))}};
  if (options.scopes) items.push_back({"scopes", *options.scopes});
  for (auto& item : detail::redirectQuery(options.redirectTo, dependencies->configuration)) {
    items.push_back(std::move(item));
  }
  const auto pkce = prepareForPKCE();
  if (pkce.codeChallenge) items.push_back({"code_challenge", *pkce.codeChallenge});
  if (pkce.codeChallengeMethod) items.push_back({"code_challenge_method", *pkce.codeChallengeMethod});
  if (options.skipBrowserRedirect)
    items.push_back({"skip_http_redirect", *options.skipBrowserRedirect ? "true" : "false"});
  for (const auto& [name, value] : options.queryParams) items.push_back({name, value});

  components->setQueryItems(items);
  // A literal "+" is left as it is in a query, where services read it as a space: "ada+work@example.com"
  // would arrive as "ada work@example.com". Encoded, it arrives as written.
  auto encoded = components->percentEncodedQueryItems().value_or(std::vector<velmoria::base::URLQueryItem>{});
  const auto plusEncoded = [](std::string text) {
    for (std::size_t at = text.find('+'); at != std::string::npos; at = text.find('+', at + 3))
      text.replace(at, 1, "%2B");
    return text;
  };
  for (auto& item : encoded) {
    item.name = plusEncoded(std::move(item.name));
    if (item.value) item.value = plusEncoded(std::move(*item.value));
  }
  components->setPercentEncodedQueryItems(encoded);
  auto built = components->url();
  if (!built) throw helpers::URLError(helpers::URLError::Code::badURL, url.absoluteString());
  return std::move(*built);
}

}  // namespace zirudeze::auth
