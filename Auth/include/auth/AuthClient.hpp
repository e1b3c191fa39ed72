#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "auth/AuthClientConfiguration.hpp"
#include "auth/AuthClientID.hpp"
#include "auth/AuthClientOptions.hpp"
#include "auth/AuthEnumerations.hpp"
#include "auth/AuthMFA.hpp"
#include "auth/AuthResponse.hpp"
#include "auth/AuthStateChangeEventEmitter.hpp"
#include "auth/Credentials.hpp"
#include "auth/Session.hpp"
#include "auth/User.hpp"
#include "base/URL.hpp"
#include "concurrency/AsyncStream.hpp"
#include "helpers/HTTPRequest.hpp"
#include "helpers/ObservationToken.hpp"

namespace zirudeze::auth {

struct Dependencies;

// The client of one backend's auth service. All its state lives in the dependency registry under its
// id; the object itself holds only the id and its activity subscriptions, takes no lock of its own, and
// may be used from any thread. Operations that talk to the service block, so none of them belongs on a
// user-interface thread.
class AuthClient : public std::enable_shared_from_this<AuthClient> {
 public:
  using Configuration = AuthClientConfiguration;
  using Listener = AuthStateChangeEventEmitter::Listener;
  using StateChange = std::pair<AuthChangeEvent, std::optional<Session>>;
  // Ends for its consumer when the consumer stops reading (drops it, or its stop token fires), which
  // also removes its listener.
  using StateChanges = helpers::AsyncStream<StateChange>;

  static constexpr std::string_view didChangeAuthStateNotification = kDidChangeAuthStateNotification;
  static constexpr std::string_view authChangeEventKey = kAuthChangeEventKey;
  static constexpr std::string_view authChangeSessionKey = kAuthChangeSessionKey;

  // Takes the next client id (the first is 1), registers the client's collaborators under it and
  // follows the application's activity. Sends nothing and announces nothing.
  static std::shared_ptr<AuthClient> make(Configuration configuration);

  AuthClient(const AuthClient&) = delete;
  AuthClient& operator=(const AuthClient&) = delete;

  AuthClientID clientID() const noexcept { return clientID_; }

  // The stored session, refreshed first when it is about to expire. Throws AuthError::sessionMissing
  // when none is stored, or the refresh's error.
  Session session() const;
  // The stored session as it is, expired or not, without a request.
  std::optional<Session> currentSession() const;
  std::optional<User> currentUser() const;
  AuthMFA mfa() const { return AuthMFA{clientID_}; }

  // The application's activity: with autoRefreshToken on, the session manager's periodic refresh runs
  // from becoming active until resigning active. Neither blocks.
  void handleDidBecomeActive() const;
  void handleWillResignActive() const;
  void startAutoRefresh() const;
  void stopAutoRefresh() const;

  // Attaches `listener` and delivers the initial session to it alone before returning (which may wait
  // for a refresh, see Configuration::emitLocalSessionAsInitialSession).
  AuthStateChangeListenerRegistration onAuthStateChange(Listener listener) const;
  // Every later state change, starting with "INITIAL_SESSION" for this stream alone. Returns at once.
  StateChanges authStateChanges() const;
  // Sends "INITIAL_SESSION" to the listener of `token` only.
  void emitInitialSession(const helpers::ObservationToken& token) const;

  // In the PKCE flow: a new code verifier, stored, and its challenge. Nothing in the implicit flow.
  PKCEParameters prepareForPKCE() const;
  // Whether a redirect's parameters belong to the PKCE flow.
  bool isPKCEFlow(const std::map<std::string, std::string>& params) const;
  // The authorization URL of an OAuth provider below `url` (whose own query is dropped). Throws
  // helpers::URLError (badURL) when no URL can be made.
  base::URL getURLForProvider(const base::URL& url, Provider provider, const ProviderURLOptions& options = {}) const;

  // Has the service send a one-time code (or link). Stores nothing, announces nothing.
  void signInWithOTP(const Email& email, const EmailOTPOptions& options = {}) const;
  void signInWithOTP(const Phone& phone, const PhoneOTPOptions& options = {}) const;

  // Exchanges a code (or a link's token hash) for a session: a session answer is stored, then announced
  // as "SIGNED_IN"; an answer with only the user changes nothing here.
  AuthResponse verifyOTP(const Email& email, const std::string& token, EmailOTPType type,
                         const VerifyEmailOTPOptions& options = {}) const;
  AuthResponse verifyOTP(const Phone& phone, const std::string& token, MobileOTPType type,
                         const VerifyPhoneOTPOptions& options = {}) const;
  AuthResponse verifyOTP(const TokenHash& tokenHash, EmailOTPType type) const;

  // Ends the session here first (except for `others`: "SIGNED_OUT" after the stored session is gone),
  // then at the service with the stored access token as it is. The service's 401, 403 and 404 count as
  // signed out; other failures are thrown after the local sign-out. Without a session: a warning, nothing else.
  void signOut(SignOutScope scope = SignOutScope::global) const;

  // Stops the periodic refresh; the registry entry stays.
  ~AuthClient();

 private:
  explicit AuthClient(AuthClientID clientID) : clientID_(clientID) {}

  std::shared_ptr<const Dependencies> dependencies() const;
  void observeAppLifecycleChanges();
  AuthResponse executeVerifyOTP(helpers::HTTPRequest request) const;

  const AuthClientID clientID_;
  std::vector<helpers::ObservationToken> lifecycleObservations_;
};

}  // namespace zirudeze::auth
