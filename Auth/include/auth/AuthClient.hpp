#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "auth/AuthAdmin.hpp"
#include "auth/AuthClientConfiguration.hpp"
#include "auth/AuthClientID.hpp"
#include "auth/AuthClientOptions.hpp"
#include "auth/AuthEnumerations.hpp"
#include "auth/AuthMFA.hpp"
#include "auth/AuthResponse.hpp"
#include "auth/AuthStateChangeEventEmitter.hpp"
#include "auth/Credentials.hpp"
#include "auth/JWTTypes.hpp"
#include "auth/ResendAndSSOTypes.hpp"
#include "auth/Session.hpp"
#include "auth/User.hpp"
#include "auth/UserAttributes.hpp"
#include "base/URL.hpp"
#include "concurrency/AsyncStream.hpp"
#include "helpers/HTTPRequest.hpp"
#include "helpers/ObservationToken.hpp"
#include "platform/WebAuthenticationSession.hpp"

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
  using StateChanges = concurrency::AsyncStream<StateChange>;

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
  // The administrative user and OAuth-client services, authorised by the configured headers alone.
  AuthAdmin admin() const { return AuthAdmin{clientID_}; }

  // The application's activity: with autoRefreshToken on, the session manager's periodic refresh runs
  // from becoming active until resigning active. Neither blocks.
  void handleDidBecomeActive() const;
  void handleWillResignActive() const;
  void startAutoRefresh() const;
  void stopAutoRefresh() const;

  // The first event a new listener (or stream) receives is "INITIAL_SESSION". With the configuration's
  // emitLocalSessionAsInitialSession set, it carries the stored session as it is, expired or not, and an
  // expired one is refreshed afterwards in the background ("TOKEN_REFRESHED" follows): check
  // session.isExpired() before trusting it. Without the flag, the client first tries to refresh an expired
  // session and the event carries the result (or no session), and a runtime warning says so each time:
  // that order is kept for callers that rely on it, and the flag is the way to the new one.

  // Attaches `listener` and delivers the initial session to it alone before returning (which may wait
  // for the refresh above); while other events are being delivered (a listener called from here, or
  // from another thread), it follows them in line instead.
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
  velmoria::base::URL getURLForProvider(const velmoria::base::URL& url, Provider provider,
                                        const ProviderURLOptions& options = {}) const;

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
  // signed out, whatever their code, and announce nothing more; other failures are thrown after the local
  // sign-out. Without a session: a warning, nothing else.
  void signOut(SignOutScope scope = SignOutScope::global) const;

  // The signed-in user's record: with `jwt` as the bearer token (no session needed), else with the
  // current session's. Stores nothing.
  User user(const std::optional<std::string>& jwt = std::nullopt) const;
  // Changes the signed-in user's record (an e-mail change runs the PKCE flow's challenge); the stored
  // session gets the new user before "USER_UPDATED" announces it, unless it was signed out or replaced
  // by another sign-in while the request was out (a refresh of it meanwhile keeps its new tokens).
  User update(const UserAttributes& user, const std::optional<velmoria::base::URL>& redirectTo = std::nullopt) const;

  // A session answer is stored, then announced as "SIGNED_IN"; an answer with only the user (the
  // service waits for a confirmation) changes nothing here.
  AuthResponse signUp(const Email& email, const std::string& password, const EmailSignUpOptions& options = {}) const;
  AuthResponse signUp(const Phone& phone, const std::string& password, const PhoneSignUpOptions& options = {}) const;
  // Each stores the new session, then announces "SIGNED_IN".
  Session signIn(const Email& email, const std::string& password, const PasswordSignInOptions& options = {}) const;
  Session signIn(const Phone& phone, const std::string& password, const PasswordSignInOptions& options = {}) const;
  Session signInWithIdToken(const OpenIDConnectCredentials& credentials) const;
  Session signInAnonymously(const AnonymousSignInOptions& options = {}) const;

  // Has the service send a sign-up confirmation or an e-mail change link again.
  void resend(const Email& email, ResendEmailType type, const ResendEmailOptions& options = {}) const;
  ResendMobileResponse resend(const Phone& phone, ResendMobileType type, const ResendPhoneOptions& options = {}) const;
  // Has the service send the signed-in user a reauthentication code.
  void reauthenticate() const;

  // Has the service send a password-recovery e-mail (PKCE flow: with a new challenge).
  void resetPasswordForEmail(const std::string& email, const ResetPasswordOptions& options = {}) const;
  // Refreshes with `refreshToken` (after any refresh of another token in flight, never joining it), else
  // with the stored session's, expired or not, read as the refresh starts; without either it throws
  // AuthError::sessionMissing and sends nothing.
  Session refreshSession(const std::optional<std::string>& refreshToken = std::nullopt) const;

  // Exchanges an authorization code and the stored code verifier for a session; the verifier is cleared,
  // the session stored, then "SIGNED_IN" announced.
  Session exchangeCodeForSession(const std::string& authCode) const;
  // The provider's "authorize" address (PKCE flow: with a new challenge). Sends nothing.
  velmoria::base::URL getOAuthSignInURL(Provider provider, const OAuthURLOptions& options = {}) const;
  // Gets the address the browser came back with from `launchFlow` (which may block, and whose error is
  // thrown as it is) and signs in with it.
  using LaunchFlow = std::function<velmoria::base::URL(const velmoria::base::URL& authorizationURL)>;
  Session signInWithOAuth(Provider provider, const OAuthURLOptions& options, const LaunchFlow& launchFlow) const;
  // The same through the platform's web authentication session, called back on the scheme of
  // `options.redirectTo`; `configure` adjusts the session before it starts. Blocks until the session
  // completes; its error is thrown as it is. Linux has no system web-authentication broker, so here it
  // throws velmoria::platform::WebAuthenticationError (unavailable) at once: pass a launch flow that opens the
  // browser and returns the redirect instead, or link identities through the opener (linkIdentity).
  using ConfigureWebAuthenticationSession = std::function<void(velmoria::platform::WebAuthenticationSession&)>;
  Session signInWithOAuth(Provider provider, const OAuthURLOptions& options = {},
                          const ConfigureWebAuthenticationSession& configure = nullptr) const;

  // Takes a redirect the app was opened with in the background; failures are only logged.
  void handle(const velmoria::base::URL& url) const;
  // The session a redirect carries: tokens (implicit flow) or an authorization code (PKCE flow).
  Session session(const velmoria::base::URL& url) const;
  Session handleImplicitGrantFlow(const std::map<std::string, std::string>& params) const;
  Session handlePKCEFlow(const std::map<std::string, std::string>& params) const;
  // Installs a session from a token pair: a live access token is kept (its user fetched), an expired one
  // refreshed. Stored, then announced as "SIGNED_IN".
  Session setSession(const std::string& accessToken, const std::string& refreshToken) const;

  // Has the service start single sign-on; the caller opens the answer's address.
  SSOResponse signInWithSSO(const ProviderID& providerId, const SSOOptions& options = {}) const;
  SSOResponse signInWithSSO(const Domain& domain, const SSOOptions& options = {}) const;

  // The signed-in user's identities; empty when the record lists none.
  std::vector<UserIdentity> userIdentities() const;
  // Links an identity provider's ID token to the signed-in user; stored, then "USER_UPDATED", unless the
  // session it was asked with has ended meanwhile (then it is only returned).
  Session linkIdentityWithIdToken(OpenIDConnectCredentials credentials) const;
  // The address that links a provider's identity, opened by `launchURL`, or by the desktop's opener.
  void linkIdentity(Provider provider, const OAuthURLOptions& options,
                    const std::function<void(const velmoria::base::URL&)>& launchURL) const;
  void linkIdentity(Provider provider, const OAuthURLOptions& options = {}) const;
  OAuthResponse getLinkIdentityURL(Provider provider, const OAuthURLOptions& options = {}) const;
  void unlinkIdentity(const UserIdentity& identity) const;

  // The signing key `kid`: from `jwks` when given, else from the process-wide key-set cache (ten minutes
  // per fetch), else from the service's key set. Nothing when no key has that id.
  std::optional<JWK> fetchJWK(const std::string& kid, const std::optional<JWKS>& jwks = std::nullopt) const;
  // The verified claims of `jwt`, else of the current session's access token: RS256 tokens are checked
  // here against the service's keys, all others by asking the service for their user. Expired tokens
  // are refused unless options.allowExpired.
  JWTClaimsResponse getClaims(const std::optional<std::string>& jwt = std::nullopt,
                              const GetClaimsOptions& options = {}) const;

  // Stops the periodic refresh; the registry entry stays.
  ~AuthClient();

 private:
  explicit AuthClient(AuthClientID clientID) : clientID_(clientID) {}

  std::shared_ptr<const Dependencies> dependencies() const;
  void observeAppLifecycleChanges();
  AuthResponse executeVerifyOTP(helpers::HTTPRequest request) const;
  AuthResponse signUpWithRequest(helpers::HTTPRequest request) const;
  Session signInWithRequest(helpers::HTTPRequest request) const;
  SSOResponse signInWithSSO(SignInWithSSORequest request, const SSOOptions& options) const;
  velmoria::base::URL webAuthenticationCallback(const velmoria::base::URL& url,
                                                const std::optional<velmoria::base::URL>& redirectTo,
                                                const ConfigureWebAuthenticationSession& configure) const;

  const AuthClientID clientID_;
  std::vector<helpers::ObservationToken> lifecycleObservations_;
};

}  // namespace zirudeze::auth
