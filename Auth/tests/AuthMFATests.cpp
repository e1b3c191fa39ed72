#include <gtest/gtest.h>

#include "AuthServiceTestSupport.hpp"
#include "auth/AuthError.hpp"
#include "auth/AuthMFA.hpp"

namespace zirudeze::auth::testing {
namespace {

const std::string kEmail = "ada@example.com";

struct SignedIn {
  AuthService auth;
  std::shared_ptr<AuthClient> client = auth.client();
  AuthMFA mfa = client->mfa();

  void signIn() { dependenciesOf(*client)->sessionStorage.store(auth.session(kEmail, 3600)); }
  Session signInWithToken(const velmoria::base::Json& claims) {
    Session session = auth.session(kEmail, 3600);
    session.accessToken = velmoria::testsupport::FakeAuth::makeAccessToken(claims);
    dependenciesOf(*client)->sessionStorage.store(session);
    return session;
  }
};

TEST(MultiFactorRequests, AChallengeCarriesABodyOnlyWithAChannel) {
  SignedIn user;
  user.signIn();
  const std::string factor = user.auth.service.addFactor(kEmail, "phone", true);

  const auto plain = user.mfa.challenge({.factorId = factor});
  auto sent = user.auth.backend.lastRequest();
  EXPECT_EQ(sent.path, "/auth/v1/factors/" + factor + "/challenge");
  EXPECT_EQ(sent.method, "POST");
  EXPECT_TRUE(sent.body.empty());
  EXPECT_FALSE(sent.header("Content-Type"));
  EXPECT_TRUE(sent.header("Authorization"));
  EXPECT_FALSE(plain.id.empty());

  user.mfa.challenge({.factorId = factor, .channel = MessagingChannel::whatsapp});
  sent = user.auth.backend.lastRequest();
  EXPECT_EQ(jsonBody(sent), (velmoria::base::Json{{"channel", "whatsapp"}}));
}

TEST(MultiFactorRequests, VerifiedChallengesStoreTheSessionBeforeAnnouncingIt) {
  SignedIn user;
  user.signIn();
  const auto enrolled = user.mfa.enroll(MFAEnrollParamsType::totp("velmoria", "laptop"));
  EXPECT_EQ(jsonBody(user.auth.backend.lastRequest()),
            (velmoria::base::Json{{"factor_type", "totp"}, {"issuer", "velmoria"}, {"friendly_name", "laptop"}}));
  ASSERT_TRUE(enrolled.totp);

  std::optional<Session> storedWhenAnnounced;
  auto& emitter = *dependenciesOf(*user.client)->eventEmitter;
  const auto registration = emitter.attach([&](AuthChangeEvent event, const std::optional<Session>&) {
    if (event == AuthChangeEvent::mfaChallengeVerified) storedWhenAnnounced = user.client->currentSession();
  });
  const Session session = user.mfa.challengeAndVerify({.factorId = enrolled.id, .code = "123456"});
  const auto verifyBody = jsonBody(user.auth.backend.lastRequest());
  EXPECT_EQ(verifyBody["factor_id"], enrolled.id);
  EXPECT_EQ(verifyBody["code"], "123456");
  EXPECT_TRUE(verifyBody.contains("challenge_id"));
  EXPECT_EQ(storedWhenAnnounced, session);
  EXPECT_EQ(user.mfa.getAuthenticatorAssuranceLevel().currentLevel, "aal2");

  EXPECT_EQ(user.mfa.unenroll({.factorId = enrolled.id}).id, enrolled.id);
  EXPECT_EQ(user.auth.backend.lastRequest().method, "DELETE");
}

// Like an update, a verification applies only to the sign-in it was asked in.
TEST(MultiFactorRequests, AVerificationAnsweredAfterASignOutStoresAndAnnouncesNothing) {
  SignedIn user;
  user.signIn();
  const auto enrolled = user.mfa.enroll(MFAEnrollParamsType::totp("velmoria", "laptop"));
  const auto challenged = user.mfa.challenge({.factorId = enrolled.id});
  const auto log = eventsOf(*user.client);
  user.auth.service.hold("factors");
  user.auth.service.hold("logout");
  std::optional<Session> answered;
  Background verify(
      [&] { answered = user.mfa.verify({.factorId = enrolled.id, .challengeId = challenged.id, .code = "123456"}); });
  ASSERT_TRUE(user.auth.service.waitUntilHeld("factors", 1));
  // Signed out here; the service hears of it only after it has answered the verification.
  Background signOut([&] { user.client->signOut(); });
  ASSERT_TRUE(user.auth.service.waitUntilHeld("logout", 1));
  user.auth.service.release("factors");
  EXPECT_FALSE(verify.join());
  user.auth.service.release("logout");
  EXPECT_FALSE(signOut.join());

  EXPECT_TRUE(answered);
  EXPECT_FALSE(user.client->currentSession());
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedOut});
}

TEST(MultiFactorRequests, AFactorIdStaysOneSegmentOfThePath) {
  SignedIn user;
  user.signIn();
  for (const auto& [id, encoded] : std::vector<std::pair<std::string, std::string>>{
           {"a/b?c#d", "a%2Fb%3Fc%23d"}, {"..", "%2E%2E"}, {"50%", "50%25"}}) {
    EXPECT_THROW(user.mfa.unenroll({.factorId = id}), AuthError);
    EXPECT_EQ(user.auth.backend.lastRequest().target, "/auth/v1/factors/" + encoded);
  }
}

TEST(MultiFactorRequests, NothingIsSentWithoutASession) {
  SignedIn user;
  try {
    user.mfa.enroll(MFAEnrollParamsType::phone(std::nullopt, "+15550100"));
    ADD_FAILURE() << "enrolled without a session";
  } catch (const AuthError& error) {
    EXPECT_TRUE(error.is<AuthError::SessionMissingCase>());
  }
  EXPECT_THROW(user.mfa.listFactors(), AuthError);
  EXPECT_EQ(user.auth.backend.requestCount(), 0u);
  EXPECT_EQ(user.mfa.getAuthenticatorAssuranceLevel(), AuthMFAGetAuthenticatorAssuranceLevelResponse{});
}

TEST(MultiFactorLevels, FactorsAreListedFromTheSessionUser) {
  SignedIn user;
  user.auth.service.addFactor(kEmail, "totp", true);
  user.auth.service.addFactor(kEmail, "totp", false);
  user.auth.service.addFactor(kEmail, "phone", true);
  user.signIn();
  const auto factors = user.mfa.listFactors();
  EXPECT_EQ(factors.all.size(), 3u);
  EXPECT_EQ(factors.totp.size(), 1u);
  EXPECT_EQ(factors.phone.size(), 1u);
  EXPECT_EQ(factors.totp[0].status, FactorStatus::verified);
}

TEST(MultiFactorLevels, TheNextLevelIsAal2OnlyWithAVerifiedFactor) {
  const velmoria::base::Json claims{
      {"aal", "aal1"},
      {"amr", velmoria::base::Json::array({velmoria::base::Json{{"method", "otp"}, {"timestamp", 1700000000}},
                                           velmoria::base::Json{{"method", "password"}}})}};
  SignedIn unverified;
  unverified.auth.service.addFactor(kEmail, "totp", false);
  unverified.signInWithToken(claims);
  auto level = unverified.mfa.getAuthenticatorAssuranceLevel();
  EXPECT_EQ(level.currentLevel, "aal1");
  EXPECT_EQ(level.nextLevel, "aal1");
  EXPECT_EQ(level.currentAuthenticationMethods, (std::vector<AMREntry>{{"otp", 1700000000}}));

  SignedIn verified;
  verified.auth.service.addFactor(kEmail, "phone", true);
  verified.signInWithToken(claims);
  level = verified.mfa.getAuthenticatorAssuranceLevel();
  EXPECT_EQ(level.currentLevel, "aal1");
  EXPECT_EQ(level.nextLevel, "aal2");

  SignedIn unreadable;
  Session session = unreadable.auth.session(kEmail, 3600);
  session.accessToken = "not-a-token";
  dependenciesOf(*unreadable.client)->sessionStorage.store(session);
  level = unreadable.mfa.getAuthenticatorAssuranceLevel();
  EXPECT_FALSE(level.currentLevel);
  EXPECT_TRUE(level.currentAuthenticationMethods.empty());
}

}  // namespace
}  // namespace zirudeze::auth::testing
