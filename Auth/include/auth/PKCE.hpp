#pragma once

#include <functional>
#include <string>

namespace zirudeze::auth {

// The two generators of the PKCE flow (RFC 7636, method S256).
struct PKCE {
  // 86 characters of the base64url alphabet from 64 secure random bytes.
  std::function<std::string()> generateCodeVerifier;
  // The verifier's SHA-256, base64url without padding: 43 characters.
  std::function<std::string(const std::string& verifier)> generateCodeChallenge;

  static PKCE live();
};

}  // namespace zirudeze::auth
