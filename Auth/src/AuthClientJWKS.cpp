#include <algorithm>

#include "AuthRequest.hpp"
#include "JWKSCache.hpp"
#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"
#include "auth/SessionStorage.hpp"
#include "base/Immortal.hpp"

namespace zirudeze::auth::detail {

GlobalJWKSCache& globalJWKSCache() {
  static velmoria::base::Immortal<GlobalJWKSCache> cache{std::map<std::string, CachedJWKS>{}};
  return *cache;
}

std::optional<RSAPublicKey> checkedRSAKey(const JWK& jwk) {
  // A handful of services' keys at most; a flood of caller-made keys only empties it.
  constexpr std::size_t kMostKeys = 64;
  using Keys = std::map<std::pair<std::string, std::string>, RSAPublicKey>;
  static velmoria::base::Immortal<concurrency::LockIsolated<Keys>> immortalKeys{Keys{}};
  auto& keys = *immortalKeys;
  if (!jwk.n || !jwk.e) return std::nullopt;
  const std::pair<std::string, std::string> numbers{*jwk.n, *jwk.e};
  const auto known = keys.withValue([&](const Keys& entries) -> std::optional<RSAPublicKey> {
    const auto found = entries.find(numbers);
    if (found == entries.end()) return std::nullopt;
    return found->second;
  });
  if (known) return known;
  auto key = rsaPublicKey(jwk);
  if (key) {
    keys.withValue([&](Keys& entries) {
      if (entries.size() >= kMostKeys) entries.clear();
      entries.insert_or_assign(numbers, *key);
    });
  }
  return key;
}

}  // namespace zirudeze::auth::detail

namespace zirudeze::auth {

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
  const velmoria::base::Date now = dependencies->date();
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
