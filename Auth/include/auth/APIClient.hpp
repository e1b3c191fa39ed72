#pragma once

#include <vector>

#include "auth/AuthClientID.hpp"
#include "auth/AuthError.hpp"
#include "auth/ErrorCode.hpp"
#include "helpers/HTTPRequest.hpp"
#include "helpers/HTTPResponse.hpp"

namespace zirudeze::auth {

// The auth client's one door to the auth service. A plain value: everything it uses is looked up in the
// registry entry of `clientID` on every call.
struct APIClient {
  AuthClientID clientID = 0;
  // After an answer with one of these codes the stored session is dropped.
  std::vector<ErrorCode> sessionCleanupErrorCodes;

  // "session_not_found", "session_expired", "refresh_token_not_found", "refresh_token_already_used".
  static std::vector<ErrorCode> defaultSessionCleanupErrorCodes();

  // Sends the request with the configuration's headers under its own (its values win) and the API
  // version header when it carries none. Transport errors pass through; a status outside 200...299
  // throws the AuthError of handleError.
  helpers::HTTPResponse execute(helpers::HTTPRequest request) const;
  // The same with "Authorization: Bearer <access token>" of the current session (refreshed first when
  // it is about to expire). Without a session nothing is sent and AuthError::sessionMissing is thrown.
  helpers::HTTPResponse authorizedExecute(helpers::HTTPRequest request) const;
  // The error an unsuccessful answer stands for. Never throws. A code that means the session is gone
  // removes the stored session and announces "SIGNED_OUT" before it returns sessionMissing.
  AuthError handleError(const helpers::HTTPResponse& response) const;
};

}  // namespace zirudeze::auth
