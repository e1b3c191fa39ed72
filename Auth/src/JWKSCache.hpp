#pragma once

#include <map>
#include <string>

#include "auth/JWTTypes.hpp"
#include "auth/RSAKeys.hpp"
#include "base/Date.hpp"
#include "concurrency/LockIsolated.hpp"

namespace zirudeze::auth::detail {

// One fetched key set. `sourceURL` is the auth URL it came from: clients that share a storage key but
// talk to different services must never verify with each other's keys.
struct CachedJWKS {
  JWKS jwks;
  velmoria::base::Date cachedAt;
  std::string sourceURL;
};

// How long a fetched key set answers without a new fetch.
inline constexpr std::chrono::seconds kJWKSCacheLifetime{600};

// The process-wide key sets by storage key ("zirudeze.auth.token" when a client has none), shared by all
// auth clients; made on first use and never released. Entries are only ever replaced.
using GlobalJWKSCache = concurrency::LockIsolated<std::map<std::string, CachedJWKS>>;
GlobalJWKSCache& globalJWKSCache();

// The checked public key of an RS256 JWK, kept per modulus and exponent: checking a key costs
// milliseconds, verifying with it microseconds. Nothing for a JWK that gives no key.
std::optional<RSAPublicKey> checkedRSAKey(const JWK& jwk);

}  // namespace zirudeze::auth::detail
