#pragma once

#include <vector>

#include "auth/AuthClientID.hpp"
#include "auth/ErrorCode.hpp"

namespace zirudeze::auth {

// The auth client's one door to the auth service. A plain value: everything it uses is looked up in the
// registry entry of `clientID` on every call.
struct APIClient {
  AuthClientID clientID = 0;
  // After an answer with one of these codes the stored session is dropped.
  std::vector<ErrorCode> sessionCleanupErrorCodes;
};

}  // namespace zirudeze::auth
