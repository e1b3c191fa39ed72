#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "testsupport/FakeBackend.hpp"
#include "testsupport/ScriptedResponse.hpp"

namespace velmoria::testsupport {

// The auth service's half of the fake backend: its REST routes under `root` ("/auth/v1") on a FakeBackend,
// over in-memory users, sessions and factors. It answers
// - POST "otp": a six-digit code per address (a new one replaces the last; create_user false refuses an
//   unknown address); the code is "e-mailed" to lastCode() and the code listener;
// - POST "verify": the address's code once, for a session;
// - POST "token?grant_type=refresh_token": rotation; each refresh token works once, a used one gets 400
//   "refresh_token_already_used", an unknown one 400 "refresh_token_not_found";
// - POST "logout?scope=global|local|others" with the bearer token (204);
// - GET "user"; POST "factors", "factors/<id>/challenge", "factors/<id>/verify"; DELETE "factors/<id>"
//   (ids are single percent-encoded path segments).
// Access tokens are JWTs (unsigned for practical purposes) with "sub", "email", "exp", "aal", "amr" and
// "session_id". Errors come in the configured shape. Safe to use from any thread.
class FakeAuth {
 public:
  using Json = nlohmann::ordered_json;

  // The current error body, {"code", "message"}, with the "X-Zirudeze-Api-Version" response header on
  // every answer; or the older {"error_code", "msg"} without the header.
  enum class ErrorShape { code, errorCode };

  // The code a factor challenge accepts.
  static constexpr std::string_view kFactorCode = "123456";

  explicit FakeAuth(FakeBackend& backend, std::string root = "/auth/v1");
  ~FakeAuth();
  FakeAuth(const FakeAuth&) = delete;
  FakeAuth& operator=(const FakeAuth&) = delete;

  // The service's URL: the backend's base URL plus the root.
  std::string url() const;

  // The last code sent to the address (used or not); nothing when none was sent.
  std::optional<std::string> lastCode(const std::string& email) const;
  // Called on the server's thread with every code the service would e-mail.
  void onCodeSent(std::function<void(const std::string& email, const std::string& code)> listener);

  // Signs the address in on the service's side (creating the user when needed) and returns the session as
  // the service answers it.
  Json issueSession(const std::string& email);
  // The user record of an address as the service writes it; an empty object when there is none.
  Json user(const std::string& email) const;
  // Seconds that new sessions last (3600 unless set).
  void setSessionLifetime(double seconds);
  bool isRefreshTokenLive(const std::string& refreshToken) const;
  // Sessions of the address the service still knows.
  std::size_t sessionCount(const std::string& email) const;

  // Adds a factor to the address's user and returns its id.
  std::string addFactor(const std::string& email, const std::string& factorType, bool verified,
                        const std::string& friendlyName = "");

  // Serves what the routes above do not: other endpoints, other grants of "token" (scripts and delays
  // still apply). Called on the server's thread.
  void setFallback(RouteHandler handler);
  // The address whose live session the access token belongs to; nothing for unknown or expired tokens.
  std::optional<std::string> emailForToken(const std::string& accessToken) const;

  void setErrorShape(ErrorShape shape);
  // An error answer in the configured shape.
  ScriptedResponse errorResponse(unsigned status, const std::string& code, const std::string& message) const;
  // The next `times` requests to `endpoint` (the first path segment below the root: "otp", "verify",
  // "token", "logout", "user", "factors") get `response` instead, exactly as given.
  void failNext(const std::string& endpoint, ScriptedResponse response, int times = 1);
  // Every answer of `endpoint` waits this long first.
  void setDelay(const std::string& endpoint, std::chrono::milliseconds delay);
  // Requests to `endpoint` wait, before the service looks at them, until they are let through: a race
  // then runs in the order a test sets.
  void hold(const std::string& endpoint);
  // Whether `count` requests to `endpoint` are being held, waiting up to `timeout` for them.
  bool waitUntilHeld(const std::string& endpoint, std::size_t count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Lets the held requests of `endpoint` through, and the later ones with them.
  void release(const std::string& endpoint);

  // A JWT carrying `claims` as its payload.
  static std::string makeAccessToken(const Json& claims);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// The token of an "Authorization: Bearer ..." header, whatever the case of its scheme.
std::optional<std::string> bearerToken(const RecordedRequest& request);

}  // namespace velmoria::testsupport
