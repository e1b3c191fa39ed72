#include <gtest/gtest.h>

#include "AuthServiceTestSupport.hpp"
#include "auth/AuthError.hpp"
#include "auth/AuthJSONCoders.hpp"
#include "auth/SessionStorage.hpp"

namespace zirudeze::auth::testing {
namespace {

using velmoria::testsupport::ScriptedResponse;

const std::string kEmail = "ada@example.com";

std::vector<std::string> keysOf(const velmoria::base::Json& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

TEST(EmailSignInRequests, TheCodeRequestCarriesTheAddressAndAChallenge) {
  AuthService auth;
  const auto client = auth.client();
  client->signInWithOTP(Email{kEmail}, {.shouldCreateUser = true});
  const auto requests = auth.requestsTo("otp");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_TRUE(requests[0].query.empty());
  EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
  const auto body = jsonBody(requests[0]);
  EXPECT_EQ(keysOf(body),
            (std::vector<std::string>{"code_challenge", "code_challenge_method", "create_user", "email"}));
  EXPECT_EQ(body["email"], kEmail);
  EXPECT_EQ(body["create_user"], true);
  EXPECT_EQ(body["code_challenge_method"], "s256");
  const auto verifier = dependenciesOf(*client)->codeVerifierStorage.get();
  ASSERT_TRUE(verifier);
  EXPECT_EQ(body["code_challenge"], PKCE::live().generateCodeChallenge(*verifier));
  EXPECT_TRUE(auth.service.lastCode(kEmail));
  EXPECT_FALSE(client->currentSession());

  // The service refuses unknown addresses when no user may be created.
  EXPECT_THROW(client->signInWithOTP(Email{"new@example.com"}, {.shouldCreateUser = false}), AuthError);
  EXPECT_EQ(jsonBody(auth.backend.lastRequest())["create_user"], false);
}

TEST(EmailSignInRequests, VerifyingSendsOnlyAddressCodeAndTypeAndStoresBeforeAnnouncing) {
  AuthService auth;
  const auto client = auth.client();
  client->signInWithOTP(Email{kEmail});
  std::optional<Session> storedWhenAnnounced;
  const auto registration =
      dependenciesOf(*client)->eventEmitter->attach([&](AuthChangeEvent event, const std::optional<Session>&) {
        if (event == AuthChangeEvent::signedIn) storedWhenAnnounced = client->currentSession();
      });
  const auto code = *auth.service.lastCode(kEmail);
  const auto response = client->verifyOTP(Email{kEmail}, code, EmailOTPType::email);
  const auto sent = auth.requestsTo("verify");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].query.empty());
  EXPECT_FALSE(sent[0].header("Authorization"));
  EXPECT_EQ(jsonBody(sent[0]), (velmoria::base::Json{{"email", kEmail}, {"token", code}, {"type", "email"}}));
  ASSERT_TRUE(response.session());
  EXPECT_EQ(storedWhenAnnounced, response.session());
  EXPECT_EQ(client->currentSession(), response.session());

  // A spent code is refused and changes nothing.
  try {
    client->verifyOTP(Email{kEmail}, code, EmailOTPType::email);
    ADD_FAILURE() << "a spent code was accepted";
  } catch (const AuthError& error) {
    EXPECT_EQ(error.errorCode().rawValue(), "otp_expired");
  }
  EXPECT_EQ(client->currentSession(), response.session());
}

TEST(EmailSignInRequests, TheCallersRedirectBeatsTheConfiguredOne) {
  AuthService auth;
  auto parameters = auth.parameters();
  parameters.redirectToURL = velmoria::base::URL::parse("app://configured");
  const auto client = auth.client(parameters);
  client->signInWithOTP(Email{kEmail});
  EXPECT_EQ(auth.backend.lastRequest().queryValue("redirect_to"), "app://configured");
  client->signInWithOTP(Email{kEmail}, {.redirectTo = velmoria::base::URL::parse("app://caller")});
  EXPECT_EQ(auth.backend.lastRequest().queryValue("redirect_to"), "app://caller");
  client->verifyOTP(Email{kEmail}, *auth.service.lastCode(kEmail), EmailOTPType::email,
                    {.redirectTo = velmoria::base::URL::parse("app://caller")});
  EXPECT_EQ(auth.backend.lastRequest().queryValue("redirect_to"), "app://caller");

  EXPECT_THROW(client->verifyOTP(Phone{"+15550100"}, "000000", MobileOTPType::sms), AuthError);
  EXPECT_TRUE(auth.backend.lastRequest().query.empty());
  EXPECT_THROW(client->verifyOTP(TokenHash{"hash"}, EmailOTPType::magiclink), AuthError);
  EXPECT_TRUE(auth.backend.lastRequest().query.empty());
  EXPECT_EQ(jsonBody(auth.backend.lastRequest()),
            (velmoria::base::Json{{"token_hash", "hash"}, {"type", "magiclink"}}));
}

TEST(EmailSignInRequests, AnAnswerWithOnlyTheUserStoresAndAnnouncesNothing) {
  AuthService auth;
  const auto client = auth.client();
  client->signInWithOTP(Email{kEmail});
  const auto log = eventsOf(*client);
  auth.service.failNext("verify", ScriptedResponse::json(200, auth.service.user(kEmail).dump()));
  const auto response = client->verifyOTP(Email{kEmail}, "123456", EmailOTPType::emailChange);
  EXPECT_FALSE(response.isSession());
  EXPECT_EQ(response.user().email, kEmail);
  EXPECT_FALSE(client->currentSession());
  EXPECT_TRUE(log.events().empty());
}

struct SignedInClient {
  AuthService auth;
  std::shared_ptr<AuthClient> client = auth.client();
  // Past its end: signing out must not refresh it first.
  Session session = auth.session(kEmail, -60);
  SignedInClient() { dependenciesOf(*client)->sessionStorage.store(session); }
};

TEST(SignOutRequests, TheGlobalScopeEndsTheSessionHereThenAtTheService) {
  SignedInClient signedIn;
  auto& auth = signedIn.auth;
  const auto log = eventsOf(*signedIn.client);
  signedIn.client->signOut(SignOutScope::global);
  const auto sent = auth.requestsTo("logout");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].rawQuery, "scope=global");
  EXPECT_EQ(sent[0].headerValues("Authorization"), std::vector<std::string>{"Bearer " + signedIn.session.accessToken});
  EXPECT_TRUE(sent[0].body.empty());
  EXPECT_TRUE(auth.requestsTo("token").empty());
  EXPECT_FALSE(signedIn.client->currentSession());
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedOut});
  EXPECT_EQ(auth.service.sessionCount(kEmail), 0u);
}

// Whoever hears "SIGNED_OUT" finds the session gone, also when the service's clean-up code ends it.
TEST(SignOutRequests, TheSessionIsGoneWhenTheSignOutIsHeard) {
  SignedInClient signedIn;
  auto& client = *signedIn.client;
  std::vector<std::optional<Session>> stored;
  const auto listener =
      dependenciesOf(client)->eventEmitter->attach([&](AuthChangeEvent event, const std::optional<Session>&) {
        if (event == AuthChangeEvent::signedOut) stored.push_back(client.currentSession());
      });
  client.signOut();
  dependenciesOf(client)->sessionStorage.store(signedIn.session);
  signedIn.auth.service.failNext("user", signedIn.auth.service.errorResponse(403, "session_not_found", "gone"));
  EXPECT_THROW(client.user(signedIn.session.accessToken), AuthError);
  EXPECT_EQ(stored, (std::vector<std::optional<Session>>{std::nullopt, std::nullopt}));
}

// An earlier user's session left under the oldest storage key never signs anybody back in.
TEST(SignOutRequests, NoSessionOfTheOldestKeyComesBackAfterASignOut) {
  AuthService auth;
  const auto client = auth.client();
  auth.keychain.put(std::string(kOldSessionStorageKey),
                    StoredSessionCoders::encoder().encodeToString(auth.session("old@example.com", 3600)));
  client->signInWithOTP(Email{kEmail});
  client->verifyOTP(Email{kEmail}, *auth.service.lastCode(kEmail), EmailOTPType::email);
  ASSERT_EQ(client->currentUser()->email, kEmail);
  client->signOut();
  EXPECT_EQ(client->currentSession(), std::nullopt);
  try {
    client->session();
    ADD_FAILURE() << "signed in again";
  } catch (const AuthError& error) {
    EXPECT_TRUE(error.is<AuthError::SessionMissingCase>());
  }
}

TEST(SignOutRequests, TheLocalScopeEndsOnlyThisSession) {
  SignedInClient signedIn;
  auto& auth = signedIn.auth;
  auth.service.issueSession(kEmail);
  const auto log = eventsOf(*signedIn.client);
  signedIn.client->signOut(SignOutScope::local);
  const auto sent = auth.requestsTo("logout");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].rawQuery, "scope=local");
  EXPECT_FALSE(signedIn.client->currentSession());
  EXPECT_EQ(log.entries(), (std::vector<EventLog::Entry>{{AuthChangeEvent::signedOut, std::nullopt}}));
  EXPECT_EQ(auth.service.sessionCount(kEmail), 1u);
}

// A session the service no longer knows (the phone signed out first) is signed out here all the same:
// no error, and one "SIGNED_OUT", whether or not the answer's code is one that ends sessions.
TEST(SignOutRequests, RefusedTokensCountAsSignedOutWhateverTheirCode) {
  for (const unsigned status : {401u, 403u, 404u}) {
    for (const std::string code : {"bad_jwt", "session_not_found", "session_expired"}) {
      for (const auto scope : {SignOutScope::global, SignOutScope::local}) {
        SignedInClient signedIn;
        const auto log = eventsOf(*signedIn.client);
        signedIn.auth.service.failNext("logout", signedIn.auth.service.errorResponse(status, code, "gone"));
        EXPECT_NO_THROW(signedIn.client->signOut(scope)) << status << " " << code;
        EXPECT_FALSE(signedIn.client->currentSession()) << status << " " << code;
        EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedOut}) << status << " " << code;
      }
    }
  }
}

TEST(SignOutRequests, OtherFailuresAreThrownAfterTheLocalSignOut) {
  SignedInClient failing;
  const auto log = eventsOf(*failing.client);
  failing.auth.service.failNext("logout", failing.auth.service.errorResponse(500, "unexpected_failure", "down"), 2);
  try {
    failing.client->signOut();
    ADD_FAILURE() << "a failed sign-out went unreported";
  } catch (const AuthError& error) {
    EXPECT_EQ(error.errorCode(), ErrorCode::unexpectedFailure);
    EXPECT_EQ(error.as<AuthError::APICase>()->underlyingResponse.statusCode, 500);
  }
  EXPECT_FALSE(failing.client->currentSession());
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedOut});
}

TEST(SignOutRequests, OthersKeepsTheLocalSessionAndNothingStoredSendsNothing) {
  SignedInClient signedIn;
  auto& auth = signedIn.auth;
  auth.service.issueSession(kEmail);
  const auto log = eventsOf(*signedIn.client);
  signedIn.client->signOut(SignOutScope::others);
  EXPECT_EQ(auth.backend.lastRequest().rawQuery, "scope=others");
  EXPECT_EQ(signedIn.client->currentSession(), signedIn.session);
  EXPECT_TRUE(log.events().empty());
  EXPECT_EQ(auth.service.sessionCount(kEmail), 1u);

  // The service no longer knows this session: a clean-up answer ends it here.
  auth.service.failNext("logout", auth.service.errorResponse(401, "session_not_found", "gone"));
  EXPECT_NO_THROW(signedIn.client->signOut(SignOutScope::others));
  EXPECT_FALSE(signedIn.client->currentSession());
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedOut});

  const auto before = auth.backend.requestCount();
  EXPECT_NO_THROW(signedIn.client->signOut());
  EXPECT_EQ(auth.backend.requestCount(), before);
  const auto records = auth.logger->records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().message, "signOut called without a session");
  EXPECT_EQ(records.back().level, helpers::ZirudezeLogLevel::warning);
  EXPECT_EQ(records.back().function, "signOut(scope:)");
}

TEST(EmailSignInRoad, SignInRefreshAndSignOutOverHTTP) {
  AuthService auth;
  const auto client = auth.client();
  const auto log = eventsOf(*client);
  EXPECT_THROW(client->session(), AuthError);

  client->signInWithOTP(Email{kEmail});
  client->verifyOTP(Email{kEmail}, *auth.service.lastCode(kEmail), EmailOTPType::email);
  const Session signedIn = client->session();

  // The session runs out: the next use refreshes it.
  Session ending = signedIn;
  ending.expiresAt -= ending.expiresIn;
  dependenciesOf(*client)->sessionStorage.store(ending);
  const Session refreshed = client->session();
  EXPECT_NE(refreshed.refreshToken, signedIn.refreshToken);
  EXPECT_FALSE(auth.service.isRefreshTokenLive(signedIn.refreshToken));
  EXPECT_TRUE(auth.service.isRefreshTokenLive(refreshed.refreshToken));

  client->signOut();
  EXPECT_THROW(client->session(), AuthError);
  EXPECT_FALSE(auth.service.isRefreshTokenLive(refreshed.refreshToken));
  EXPECT_EQ(log.events(), (std::vector<AuthChangeEvent>{AuthChangeEvent::signedIn, AuthChangeEvent::tokenRefreshed,
                                                        AuthChangeEvent::signedOut}));
}

}  // namespace
}  // namespace zirudeze::auth::testing
