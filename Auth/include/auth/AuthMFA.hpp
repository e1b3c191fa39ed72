#pragma once

#include "auth/AuthClientID.hpp"
#include "auth/MultiFactorTypes.hpp"
#include "auth/Session.hpp"

namespace zirudeze::auth {

// The signed-in user's second factors. A plain value holding its client's id; every request carries the
// current session's bearer token and fails with AuthError::sessionMissing, sending nothing, when there
// is no session.
struct AuthMFA {
  AuthClientID clientID = 0;

  // POST "factors".
  AuthMFAEnrollResponse enroll(const MFAEnrollParamsType& params) const;
  // POST "factors/<id>/challenge", with {"channel": ...} only when a channel is given.
  AuthMFAChallengeResponse challenge(const MFAChallengeParams& params) const;
  // POST "factors/<id>/verify"; the new session is stored before "MFA_CHALLENGE_VERIFIED" announces it,
  // unless the session it was asked with has ended meanwhile (then it is only returned).
  Session verify(const MFAVerifyParams& params) const;
  // DELETE "factors/<id>".
  AuthMFAUnenrollResponse unenroll(const MFAUnenrollParams& params) const;
  // A challenge without channel, then its verification.
  Session challengeAndVerify(const MFAChallengeAndVerifyParams& params) const;
  // From the current session's user, without a request: all factors, then the verified ones by type.
  AuthMFAListFactorsResponse listFactors() const;
  // From the current access token's claims, unverified; without a session both levels are absent.
  AuthMFAGetAuthenticatorAssuranceLevelResponse getAuthenticatorAssuranceLevel() const;
};

}  // namespace zirudeze::auth
