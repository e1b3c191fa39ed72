#include <gtest/gtest.h>

#include "FlowServiceTestSupport.hpp"
#include "auth/AuthError.hpp"

namespace zirudeze::auth::testing {
namespace {

using velmoria::testsupport::ScriptedResponse;

const std::string kEmail = "grace@example.com";

TEST(UserRecord, AnExplicitTokenNeedsNoStoredSession) {
  FlowService auth;
  const auto client = auth.client();
  const auto token = auth.service.issueSession(kEmail)["access_token"].get<std::string>();
  EXPECT_EQ(client->user(token).email, kEmail);
  EXPECT_EQ(auth.backend.lastRequest().header("Authorization"), "Bearer " + token);
  // Without a token the stored session is needed, and nothing is sent without one.
  const auto sent = auth.backend.requestCount();
  EXPECT_THROW(client->user(), AuthError);
  EXPECT_EQ(auth.backend.requestCount(), sent);
}

TEST(UserRecord, APasswordOnlyUpdateMakesNoVerifierAndKeepsTheCallersFields) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail);
  client->update(UserAttributes{.password = "new secret"});
  EXPECT_EQ(jsonBody(auth.backend.lastRequest()), (velmoria::base::Json{{"password", "new secret"}}));
  EXPECT_FALSE(dependenciesOf(*client)->codeVerifierStorage.get());
}

TEST(UserRecord, AnEmailUpdateSendsAFreshChallenge) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail);
  client->update(UserAttributes{.email = "new@example.com", .codeChallenge = "caller", .codeChallengeMethod = "plain"});
  const auto body = jsonBody(auth.backend.lastRequest());
  const auto verifier = dependenciesOf(*client)->codeVerifierStorage.get();
  ASSERT_TRUE(verifier);
  EXPECT_EQ(body["code_challenge"], PKCE::live().generateCodeChallenge(*verifier));
  EXPECT_EQ(body["code_challenge_method"], "s256");
}

TEST(UserRecord, AnUpdateStoresTheNewUserAndAnnouncesItWithTheSessionsTokens) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail);
  const auto log = eventsOf(*client);
  const auto updated =
      client->update(UserAttributes{.data = helpers::JSONObject{{"full_name", helpers::AnyJSON("Grace")}}});
  EXPECT_EQ(auth.backend.lastRequest().method, "PUT");
  EXPECT_EQ(updated.userMetadata.at("full_name"), helpers::AnyJSON("Grace"));
  EXPECT_EQ(client->currentUser(), updated);
  const auto entries = log.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].first, AuthChangeEvent::userUpdated);
  EXPECT_EQ(entries[0].second->accessToken, stored.accessToken);
  EXPECT_EQ(entries[0].second->refreshToken, stored.refreshToken);
  EXPECT_EQ(entries[0].second->user, updated);

  // A refused update leaves the stored session as it was and announces nothing.
  auth.service.failNext("user", auth.service.errorResponse(422, "weak_password", "Password is too weak"));
  EXPECT_THROW(client->update(UserAttributes{.password = "x"}), AuthError);
  EXPECT_EQ(client->currentUser(), updated);
  EXPECT_EQ(log.entries().size(), 1u);
}

TEST(SignUp, AnAnswerWithOnlyTheUserStoresAndAnnouncesNothing) {
  FlowService auth;
  auth.flows.requireConfirmation(true);
  auto [client, stored] = auth.signedIn("someone@example.com");
  const auto log = eventsOf(*client);
  const auto response = client->signUp(Email{kEmail}, "secret");
  EXPECT_FALSE(response.isSession());
  EXPECT_EQ(response.user().email, kEmail);
  EXPECT_EQ(client->currentSession()->accessToken, stored.accessToken);
  EXPECT_TRUE(log.events().empty());
  // With no redirect anywhere, the sign-up has no query.
  EXPECT_TRUE(auth.backend.lastRequest().rawQuery.empty());
}

TEST(SignUp, ASessionAnswerIsStoredBeforeListenersHearOfIt) {
  FlowService auth;
  const auto client = auth.client();
  std::optional<Session> seen;
  const auto registration =
      dependenciesOf(*client)->eventEmitter->attach([&](AuthChangeEvent event, const std::optional<Session>&) {
        if (event == AuthChangeEvent::signedIn) seen = client->currentSession();
      });
  const auto response = client->signUp(Email{kEmail}, "secret", {.captchaToken = "captcha"});
  ASSERT_TRUE(response.session());
  EXPECT_EQ(seen, response.session());
  const auto body = jsonBody(auth.backend.lastRequest());
  EXPECT_EQ(body["auth_meta_security"], (velmoria::base::Json{{"captcha_token", "captcha"}}));
  EXPECT_EQ(body["code_challenge_method"], "s256");

  // The password now signs in, by e-mail.
  const auto session = client->signIn(Email{kEmail}, "secret");
  EXPECT_EQ(auth.backend.lastRequest().queryValue("grant_type"), "password");
  EXPECT_EQ(memberNames(jsonBody(auth.backend.lastRequest())), (std::vector<std::string>{"email", "password"}));
  EXPECT_EQ(client->currentSession(), session);
  EXPECT_THROW(client->signIn(Email{kEmail}, "wrong"), AuthError);
  EXPECT_EQ(client->currentSession(), session);
}

TEST(SignUp, ThePhoneFormSendsItsChannelAndNoChallenge) {
  FlowService auth;
  const auto client = auth.client();
  client->signUp(Phone{"+15550100"}, "secret", {.channel = MessagingChannel::whatsapp});
  const auto body = jsonBody(auth.backend.lastRequest());
  EXPECT_EQ(memberNames(body), (std::vector<std::string>{"channel", "password", "phone"}));
  EXPECT_EQ(body["channel"], "whatsapp");
  EXPECT_NO_THROW(client->signIn(Phone{"+15550100"}, "secret"));
  EXPECT_EQ(memberNames(jsonBody(auth.backend.lastRequest())), (std::vector<std::string>{"password", "phone"}));
}

TEST(SignUp, AnonymousSignInPostsToSignUpAndExpectsASession) {
  FlowService auth;
  const auto client = auth.client();
  const auto session = client->signInAnonymously({.data = helpers::JSONObject{{"plan", helpers::AnyJSON("free")}}});
  EXPECT_EQ(auth.backend.lastRequest().path, "/auth/v1/signup");
  EXPECT_EQ(jsonBody(auth.backend.lastRequest()), (velmoria::base::Json{{"data", {{"plan", "free"}}}}));
  EXPECT_EQ(client->currentSession(), session);
  // A user alone is no session here: a decoding error, and nothing stored.
  const auto otherClient = auth.client();
  auth.service.failNext("signup", ScriptedResponse::json(200, auth.service.user(kEmail).dump()));
  EXPECT_ANY_THROW(otherClient->signInAnonymously());
  EXPECT_FALSE(otherClient->currentSession());
}

TEST(SignUp, AnIdTokenSignInSendsTheCredentialsAsGiven) {
  FlowService auth;
  const auto client = auth.client();
  client->signInWithIdToken(OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::google, "id-token"));
  EXPECT_EQ(auth.backend.lastRequest().queryValue("grant_type"), "id_token");
  const auto body = jsonBody(auth.backend.lastRequest());
  EXPECT_EQ(body["link_identity"], false);
  EXPECT_EQ(body["provider"], "google");
  EXPECT_TRUE(client->currentSession());
}

TEST(CodesAndRefresh, ResendFallsBackToTheConfiguredRedirectByEmailOnly) {
  FlowService auth;
  auto parameters = auth.parameters();
  parameters.redirectToURL = velmoria::base::URL::parse("app://configured");
  const auto client = auth.client(parameters);
  client->resend(Email{kEmail}, ResendEmailType::signup);
  EXPECT_EQ(auth.backend.lastRequest().queryValue("redirect_to"), "app://configured");
  const auto response = client->resend(Phone{"+15550100"}, ResendMobileType::sms);
  EXPECT_TRUE(auth.backend.lastRequest().rawQuery.empty());
  EXPECT_TRUE(response.messageId);
  auth.service.failNext("resend", ScriptedResponse::json(200, "{}"));
  EXPECT_FALSE(client->resend(Phone{"+15550100"}, ResendMobileType::phoneChange).messageId);
}

TEST(CodesAndRefresh, ReauthenticatingAnExpiredSessionRefreshesItFirst) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail, -10);
  client->reauthenticate();
  const auto sent = auth.requestsTo("reauthenticate");
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(auth.requestsTo("token").size(), 1u);
  EXPECT_NE(sent[0].header("Authorization"), "Bearer " + stored.accessToken);
  EXPECT_EQ(sent[0].header("Authorization"), "Bearer " + client->currentSession()->accessToken);
}

TEST(CodesAndRefresh, AnExplicitRefreshTokenNeedsNothingStored) {
  FlowService auth;
  const auto client = auth.client();
  const auto issued = auth.service.issueSession(kEmail);
  const auto session = client->refreshSession(issued["refresh_token"].get<std::string>());
  EXPECT_EQ(jsonBody(auth.backend.lastRequest())["refresh_token"], issued["refresh_token"]);
  EXPECT_EQ(client->currentSession(), session);
}

TEST(CodesAndRefresh, WithoutATokenTheStoredOneIsUsedThoughStillValid) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail, 3600);
  const auto session = client->refreshSession();
  EXPECT_EQ(jsonBody(auth.backend.lastRequest())["refresh_token"], stored.refreshToken);
  EXPECT_NE(session.accessToken, stored.accessToken);
  // Nothing stored and no token: refused before any request.
  const auto bare = auth.client();
  const auto sent = auth.backend.requestCount();
  EXPECT_THROW(bare->refreshSession(), AuthError);
  EXPECT_EQ(auth.backend.requestCount(), sent);
}

TEST(CodesAndRefresh, RecoveryCarriesAChallengeOnlyInThePKCEFlow) {
  FlowService auth;
  const auto client = auth.client();
  client->resetPasswordForEmail(kEmail);
  EXPECT_EQ(memberNames(jsonBody(auth.backend.lastRequest())),
            (std::vector<std::string>{"code_challenge", "code_challenge_method", "email"}));
  auto parameters = auth.parameters();
  parameters.flowType = AuthFlowType::implicit;
  auth.client(parameters)->resetPasswordForEmail(kEmail, {.captchaToken = "c"});
  EXPECT_EQ(memberNames(jsonBody(auth.backend.lastRequest())),
            (std::vector<std::string>{"auth_meta_security", "email"}));
}

}  // namespace
}  // namespace zirudeze::auth::testing
