#pragma once

#include <functional>
#include <optional>
#include <string>

#include "auth/AuthClientID.hpp"

namespace zirudeze::auth {

struct AuthClientConfiguration;

// The PKCE code verifier between sign-in request and code exchange, kept as its UTF-8 bytes under the
// storage key followed by "-code-verifier". Neither operation fails: failures are logged and swallowed.
struct CodeVerifierStorage {
  std::function<std::optional<std::string>()> get;
  // Absent removes the stored verifier.
  std::function<void(const std::optional<std::string>& verifier)> set;

  // Local storage, key and logger come from the client's registry entry on every call.
  static CodeVerifierStorage live(AuthClientID clientID);
};

// (The configuration's storage key, else "zirudeze.auth.token") + "-code-verifier".
std::string codeVerifierKey(const AuthClientConfiguration& configuration);

}  // namespace zirudeze::auth
