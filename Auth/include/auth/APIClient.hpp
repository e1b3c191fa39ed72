#pragma once

#include <optional>
#include <string>
#include <vector>

#include "auth/AuthClientID.hpp"
#include "auth/AuthError.hpp"
#include "auth/ErrorCode.hpp"
#include "auth/Session.hpp"
#include "helpers/HTTPRequest.hpp"
#include "helpers/HTTPResponse.hpp"

namespace zirudeze::auth {

// The tokens of the session a request spoke for: a clean-up answer to it ends the stored session only
// while that is still this one, so a late answer to an old request never signs out a newer session.
struct RequestSession {
  std::optional<std::string> accessToken;
  std::optional<std::string> refreshToken;

  // The session the request carried in its own "Authorization: Bearer ..." field, if any.
  static RequestSession of(const helpers::HTTPRequest& request);
  bool isCarriedBy(const Session& session) const;
};

// The auth client's one door to the auth service. A plain value: everything it uses is looked up in the
// registry entry of `clientID` on every call.
struct APIClient {
  AuthClientID clientID = 0;
  // After an answer with one of these codes the stored session is dropped.
  std::vector<ErrorCode> sessionCleanupErrorCodes;

  // "session_not_found", "session_expired", "refresh_token_not_found", "refresh_token_already_used".
  static std::vector<ErrorCode> defaultSessionCleanupErrorCodes();

  // Sends the request with the configuration's headers under its own (its values win) and the API
  // version header when it carries none, and returns whatever the service answered. Transport errors
  // pass through.
  helpers::HTTPResponse send(helpers::HTTPRequest request) const;
  // send, then a status outside 200...299 throws the AuthError of handleError for the session the
  // request carried.
  helpers::HTTPResponse execute(helpers::HTTPRequest request) const;
  // The same with "Authorization: Bearer <access token>" of the current session (refreshed first when
  // it is about to expire). Without a session nothing is sent and AuthError::sessionMissing is thrown.
  helpers::HTTPResponse authorizedExecute(helpers::HTTPRequest request) const;
  // The error an unsuccessful answer stands for. Never throws. A code that means the session is gone
  // returns sessionMissing, after removing the stored session and announcing "SIGNED_OUT" when the
  // stored session is the one the request carried (without `carried`: whatever session is stored).
  AuthError handleError(const helpers::HTTPResponse& response,
                        const std::optional<RequestSession>& carried = std::nullopt) const;
};

}  // namespace zirudeze::auth
