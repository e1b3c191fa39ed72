#pragma once

#include <string_view>

#include "auth/AuthClientConfiguration.hpp"
#include "auth/AuthStateChangeEventEmitter.hpp"

namespace zirudeze::auth {

// The auth client. Its settings and the name of the notification every state change posts.
class AuthClient {
 public:
  using Configuration = AuthClientConfiguration;

  static constexpr std::string_view didChangeAuthStateNotification = kDidChangeAuthStateNotification;
};

}  // namespace zirudeze::auth
