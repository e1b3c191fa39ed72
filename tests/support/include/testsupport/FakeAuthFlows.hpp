#pragma once

#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "testsupport/FakeAuth.hpp"

namespace velmoria::testsupport {

// The rest of the fake auth service, on top of a FakeAuth (whose sessions it issues):
// - POST "signup": e-mail or phone with a password (a session, or the user alone while confirmations are
//   required), or neither for an anonymous session;
// - POST "token" with grant_type "password" (the sign-up's password), "id_token" (any token; with
//   "link_identity" true and a bearer token the identity joins the bearer's user) and "pkce" (a code from
//   issueAuthCode whose challenge the "code_verifier" meets, once);
// - POST "resend" ({}, or {"message_id"} for "sms"/"phone_change"), "recover" ({}), "sso" ({"url"});
//   GET "reauthenticate" and PUT "user" with a bearer token; GET "user/identities/authorize" ({"url"});
//   DELETE "user/identities/<id>";
// - GET ".well-known/jwks.json": the key set given to setKeys;
// - "admin/users" (GET list, POST), "admin/users/<id>" (GET, PUT, DELETE), POST "admin/invite",
//   "admin/oauth/clients" (GET list, POST), "admin/oauth/clients/<id>" (GET, PUT, DELETE) and POST
//   ".../regenerate_secret"; ids compare without regard to case; lists carry "x-total-count" and "link".
class FakeAuthFlows {
 public:
  using Json = nlohmann::ordered_json;

  explicit FakeAuthFlows(FakeAuth& auth);
  ~FakeAuthFlows();
  FakeAuthFlows(const FakeAuthFlows&) = delete;
  FakeAuthFlows& operator=(const FakeAuthFlows&) = delete;

  // While true, an e-mail or phone sign-up is answered with the user alone.
  void requireConfirmation(bool required);
  // A code for the pkce grant, bound to `codeChallenge` ("s256": base64url SHA-256 of the verifier;
  // "plain": the verifier itself).
  std::string issueAuthCode(const std::string& email, const std::string& codeChallenge,
                            const std::string& method = "s256");
  // The document GET ".well-known/jwks.json" answers: {"keys": keys}.
  void setKeys(const Json& keys);
  // A user in the admin store; returns its id (lower case).
  std::string addAdminUser(const std::string& email);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
