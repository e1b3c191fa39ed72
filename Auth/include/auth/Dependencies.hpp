#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "auth/APIClient.hpp"
#include "auth/AuthClientConfiguration.hpp"
#include "auth/AuthClientID.hpp"
#include "auth/AuthStateChangeEventEmitter.hpp"
#include "auth/CodeVerifierStorage.hpp"
#include "auth/PKCE.hpp"
#include "auth/SessionManager.hpp"
#include "auth/SessionStorage.hpp"
#include "auth/URLOpener.hpp"
#include "base/Date.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "platform/WebAuthenticationSession.hpp"

namespace zirudeze::auth {

// The collaborators of one auth client. Its parts hold only their client's id and look the bundle up
// here on every call, so they always see the same configuration, storage and emitter.
struct Dependencies {
  AuthClientConfiguration configuration;
  std::shared_ptr<helpers::HTTPClientType> http;
  APIClient api;
  CodeVerifierStorage codeVerifierStorage;
  SessionStorage sessionStorage;
  SessionManager sessionManager;
  std::shared_ptr<AuthStateChangeEventEmitter> eventEmitter;
  std::function<velmoria::base::Date()> date;
  URLOpener urlOpener;
  PKCE pkce;
  std::shared_ptr<const helpers::ZirudezeLogger> logger;
  // Where the OAuth sign-in's browser session comes from: the platform's (on Linux, none available).
  velmoria::platform::WebAuthenticationSessionFactory webAuthenticationSession =
      velmoria::platform::UnavailableWebAuthenticationSession::factory();

  // The entry of `clientID`, from any thread. Every id comes from a registered client, so one without an
  // entry is a broken program: it stops with "Dependencies not found for id: <id>".
  static std::shared_ptr<const Dependencies> get(AuthClientID clientID);
  // Stores the entry of `clientID`, replacing one there; absent removes it.
  static void set(AuthClientID clientID, std::optional<Dependencies> dependencies);
};

}  // namespace zirudeze::auth
