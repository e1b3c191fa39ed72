#include <algorithm>

#include "AuthRequest.hpp"
#include "JWKSCache.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"
#include "auth/SessionStorage.hpp"

namespace zirudeze::auth {
namespace detail {

helpers::LockIsolated<std::map<std::string, CachedJWKS>>& globalJWKSCache() {
  static helpers::LockIsolated<std::map<std::string, CachedJWKS>> cache{std::map<std::string, CachedJWKS>{}};
  return cache;
}

}  // namespace detail

namespace {

std::optional<JWK> keyWithID(const JWKS& jwks, const std::string& kid) {
  const auto found = std::find_if(jwks.keys.begin(), jwks.keys.end(), [&](const JWK& key) { return key.kid == kid; });
  if (found == jwks.keys.end()) return std::nullopt;
  return *found;
}

}  // namespace

std::optional<JWK> AuthClient::fetchJWK(const std::string& kid, const std::optional<JWKS>& jwks) const {
  if (jwks) {
    if (auto key = keyWithID(*jwks, kid)) return key;
  }
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const base::Date now = dependencies->date();
  const std::string cacheKey = sessionStorageKey(configuration);
  const std::string sourceURL = configuration.url.absoluteString();

  auto& cache = detail::globalJWKSCache();
  const auto cached = cache.withValue([&](const std::map<std::string, detail::CachedJWKS>& entries) {
    const auto found = entries.find(cacheKey);
    return found == entries.end() ? std::nullopt : std::optional<detail::CachedJWKS>(found->second);
  });
  if (cached && cached->sourceURL == sourceURL) {
    if (auto key = keyWithID(cached->jwks, kid); key && cached->cachedAt + detail::kJWKSCacheLifetime > now) return key;
  }

  // Outside the cache's lock: a slow service must not hold up other clients' lookups.
  auto fetched =
      dependencies->api
          .execute(detail::plainRequest(configuration, ".well-known/jwks.json", helpers::HTTPRequest::Method::get()))
          .decoded<JWKS>(configuration.decoder);
  if (fetched.keys.empty()) return std::nullopt;
  auto key = keyWithID(fetched, kid);
  cache.withValue([&](std::map<std::string, detail::CachedJWKS>& entries) {
    entries.insert_or_assign(cacheKey, detail::CachedJWKS{std::move(fetched), now, sourceURL});
  });
  return key;
}

}  // namespace zirudeze::auth
