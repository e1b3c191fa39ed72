#include "auth/PKCE.hpp"

#include <openssl/sha.h>

#include "base/SecureRandom.hpp"
#include "helpers/Base64URL.hpp"

namespace zirudeze::auth {
namespace {

constexpr std::size_t kVerifierByteCount = 64;

std::string makeCodeVerifier() {
  return helpers::Base64URL::encode(velmoria::base::secureRandomBytes(kVerifierByteCount));
}

std::string makeCodeChallenge(const std::string& verifier) {
  velmoria::base::Data digest(SHA256_DIGEST_LENGTH);
  SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest.data());
  return helpers::Base64URL::encode(digest);
}

}  // namespace

PKCE PKCE::live() { return PKCE{makeCodeVerifier, makeCodeChallenge}; }

}  // namespace zirudeze::auth
