#include <gtest/gtest.h>

#include "FlowServiceTestSupport.hpp"
#include "auth/AuthError.hpp"
#include "base/URLComponents.hpp"
#include "platform/FakeWebAuthenticationSession.hpp"

namespace zirudeze::auth::testing {
namespace {

using velmoria::testsupport::ScriptedResponse;

const std::string kEmail = "linus@example.com";
// RFC 7636, Appendix B.
const std::string kVerifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
const std::string kChallenge = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

velmoria::base::URL url(const std::string& text) { return *velmoria::base::URL::parse(text); }

std::optional<std::string> item(const velmoria::base::URL& address, const std::string& name) {
  for (const auto& query : velmoria::base::URLComponents::parse(address.absoluteString())
                               ->queryItems()
                               .value_or(std::vector<velmoria::base::URLQueryItem>{})) {
    if (query.name == name) return query.value;
  }
  return std::nullopt;
}

std::shared_ptr<AuthClient> fixedVerifierClient(FlowService& auth) {
  auto client = auth.client();
  FlowService::change(
      *client, [](Dependencies& dependencies) { dependencies.pkce.generateCodeVerifier = [] { return kVerifier; }; });
  return client;
}

std::shared_ptr<AuthClient> implicitClient(FlowService& auth) {
  auto parameters = auth.parameters();
  parameters.flowType = AuthFlowType::implicit;
  return auth.client(parameters);
}

TEST(PKCEExchange, TheAuthorizeURLCarriesTheChallengeAndTheExchangeItsVerifier) {
  FlowService auth;
  const auto client = fixedVerifierClient(auth);
  const auto address = client->getOAuthSignInURL(Provider::github, {.redirectTo = url("app://callback")});
  EXPECT_EQ(address.path(), "/auth/v1/authorize");
  EXPECT_EQ(item(address, "provider"), "github");
  EXPECT_EQ(item(address, "code_challenge"), kChallenge);
  EXPECT_EQ(item(address, "code_challenge_method"), "s256");
  EXPECT_EQ(item(address, "redirect_to"), "app://callback");
  EXPECT_EQ(auth.backend.requestCount(), 0u);

  const auto log = eventsOf(*client);
  const auto code = auth.flows.issueAuthCode(kEmail, kChallenge);
  const auto session = client->exchangeCodeForSession(code);
  EXPECT_EQ(jsonBody(auth.backend.lastRequest()),
            (velmoria::base::Json{{"auth_code", code}, {"code_verifier", kVerifier}}));
  EXPECT_EQ(auth.backend.lastRequest().queryValue("grant_type"), "pkce");
  EXPECT_EQ(client->currentSession(), session);
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedIn});

  // The verifier is spent: a second exchange sends null, after an error line.
  EXPECT_THROW(client->exchangeCodeForSession(code), AuthError);
  EXPECT_EQ(jsonBody(auth.backend.lastRequest())["code_verifier"], nullptr);
  const auto errors = auth.logger->errors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back().message, "code verifier not found, a code verifier should exist when calling this method.");
  EXPECT_EQ(client->currentSession(), session);
}

TEST(PKCEExchange, TheLaunchFlowGetsExactlyTheAuthorizeURL) {
  FlowService auth;
  const auto client = fixedVerifierClient(auth);
  std::optional<velmoria::base::URL> launched;
  const auto session =
      client->signInWithOAuth(Provider::google, {.scopes = "email"}, [&](const velmoria::base::URL& address) {
        launched = address;
        return url("app://callback?code=" + auth.flows.issueAuthCode(kEmail, kChallenge));
      });
  ASSERT_TRUE(launched);
  EXPECT_EQ(launched->absoluteString(),
            client->getOAuthSignInURL(Provider::google, {.scopes = "email"}).absoluteString());
  EXPECT_EQ(session.user.email, kEmail);

  // The launch flow's error is thrown as it is.
  EXPECT_THROW(client->signInWithOAuth(
                   Provider::google, {},
                   [](const velmoria::base::URL&) -> velmoria::base::URL { throw std::runtime_error("closed"); }),
               std::runtime_error);
}

TEST(Redirects, ImplicitRecoveryAnnouncesSignedInThenPasswordRecovery) {
  FlowService auth;
  const auto client = implicitClient(auth);
  const auto issued = auth.service.issueSession(kEmail);
  const auto log = eventsOf(*client);
  const auto before = std::chrono::system_clock::now();
  const auto session =
      client->session(url("app://callback#access_token=" + issued["access_token"].get<std::string>() +
                          "&expires_in=3600&refresh_token=" + issued["refresh_token"].get<std::string>() +
                          "&token_type=Bearer&type=recovery&provider_token=pt"));
  EXPECT_EQ(log.events(), (std::vector<AuthChangeEvent>{AuthChangeEvent::signedIn, AuthChangeEvent::passwordRecovery}));
  EXPECT_EQ(client->currentSession(), session);
  EXPECT_EQ(session.providerToken, "pt");
  EXPECT_EQ(session.user.email, kEmail);
  // Without "expires_at" the end is counted from the client's clock.
  const double start = std::chrono::duration<double>(before.time_since_epoch()).count();
  EXPECT_GE(session.expiresAt, start + 3600);
  EXPECT_LT(session.expiresAt, start + 3660);
}

TEST(Redirects, ImplicitErrorsAndIncompleteRedirects) {
  FlowService auth;
  const auto client = implicitClient(auth);
  try {
    client->session(url("app://callback#error_description=Email+link+is+invalid"));
    ADD_FAILURE();
  } catch (const AuthError& error) {
    EXPECT_EQ(error.message(), "Email link is invalid");
  }
  try {
    client->session(url("app://callback#access_token=a&expires_in=soon&refresh_token=r&token_type=bearer"));
    ADD_FAILURE();
  } catch (const AuthError& error) {
    EXPECT_EQ(error.message(), "No session defined in URL");
  }
  EXPECT_THROW(client->session(url("app://callback?nothing=here")), AuthError);
  EXPECT_EQ(auth.backend.requestCount(), 0u);
}

TEST(Redirects, APKCEErrorBeatsACode) {
  FlowService auth;
  const auto client = fixedVerifierClient(auth);
  client->getOAuthSignInURL(Provider::github);
  const auto code = auth.flows.issueAuthCode(kEmail, kChallenge);
  try {
    client->session(url("app://callback?code=" + code + "&error=access_denied"));
    ADD_FAILURE();
  } catch (const AuthError& error) {
    EXPECT_EQ(error.message(), "Error in URL with unspecified error_description.");
  }
  EXPECT_EQ(auth.backend.requestCount(), 0u);
  EXPECT_EQ(client->session(url("app://callback?code=" + code)).user.email, kEmail);
}

TEST(Redirects, SetSessionRefreshesATokenThatEndsNow) {
  FlowService auth;
  const auto client = auth.client();
  const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1'900'000'000));
  FlowService::change(*client, [now](Dependencies& dependencies) { dependencies.date = [now] { return now; }; });
  const auto refreshToken = auth.service.issueSession(kEmail)["refresh_token"].get<std::string>();
  const auto token = velmoria::testsupport::FakeAuth::makeAccessToken({{"exp", 1'900'000'000}, {"sub", "x"}});
  const auto session = client->setSession(token, refreshToken);
  EXPECT_EQ(auth.requestsTo("token").size(), 1u);
  EXPECT_TRUE(auth.requestsTo("user").empty());
  EXPECT_EQ(client->currentSession(), session);
  EXPECT_THROW(client->setSession(velmoria::testsupport::FakeAuth::makeAccessToken({{"sub", "x"}}), refreshToken),
               AuthError);
}

TEST(Redirects, SetSessionKeepsALiveTokenAndFetchesItsUser) {
  FlowService auth;
  const auto client = auth.client();
  const auto issued = auth.service.issueSession(kEmail);
  const auto session = client->setSession(issued["access_token"], issued["refresh_token"]);
  EXPECT_EQ(session.accessToken, issued["access_token"]);
  EXPECT_EQ(session.tokenType, "bearer");
  EXPECT_EQ(session.expiresAt, issued["expires_at"].get<double>());
  EXPECT_EQ(session.user.email, kEmail);
  EXPECT_TRUE(auth.requestsTo("token").empty());
}

TEST(Redirects, NeitherLogLineShowsATokenOrCode) {
  FlowService auth;
  const auto client = implicitClient(auth);
  client->handle(url("app://callback#access_token=SECRETACCESS1234567890&refresh_token=SECRETREFRESH&token_type=x"));
  ASSERT_TRUE(eventually([&] { return !auth.logger->errors().empty(); }));
  const auto pkceClient = auth.client();
  pkceClient->handle(url("app://callback?code=SECRETCODE&error_code=denied"));
  ASSERT_TRUE(eventually([&] { return auth.logger->errors().size() >= 2; }));
  bool received = false;
  for (const auto& message : auth.logger->messages()) {
    received = received || message.rfind("Received URL: ", 0) == 0;
    EXPECT_EQ(message.find("SECRETACCESS1234567890"), std::string::npos) << message;
    EXPECT_EQ(message.find("SECRETREFRESH"), std::string::npos) << message;
    EXPECT_EQ(message.find("SECRETCODE"), std::string::npos) << message;
  }
  EXPECT_TRUE(received);
  EXPECT_EQ(auth.logger->errors()[0].message.rfind("Failure loading session from url '", 0), 0u);
}

TEST(WebAuthentication, ASessionTheCallerConfiguresKeepsItsProvider) {
  FlowService auth;
  const auto client = fixedVerifierClient(auth);
  velmoria::platform::FakeWebAuthenticationSessions sessions;
  FlowService::change(*client,
                      [&](Dependencies& dependencies) { dependencies.webAuthenticationSession = sessions.factory(); });
  sessions.completeWithURL(url("app://callback?code=" + auth.flows.issueAuthCode(kEmail, kChallenge)));
  struct OwnProvider final : velmoria::platform::PresentationContextProviding {
    std::shared_ptr<velmoria::platform::PresentationAnchor> presentationAnchor(
        const velmoria::platform::WebAuthenticationSession&) override {
      return std::make_shared<velmoria::platform::PresentationAnchor>();
    }
  };
  const auto own = std::make_shared<OwnProvider>();
  const auto session = client->signInWithOAuth(Provider::github, {.redirectTo = url("app://callback")},
                                               [&](velmoria::platform::WebAuthenticationSession& webSession) {
                                                 webSession.setPresentationContextProvider(own);
                                               });
  EXPECT_EQ(session.user.email, kEmail);
  auto records = sessions.sessions();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].provider, own);
  EXPECT_EQ(records[0].callbackURLScheme, "app");
  EXPECT_EQ(item(records[0].url, "code_challenge"), kChallenge);

  // Unconfigured: the default provider answers; no redirect: no callback scheme; the "user" cancels.
  EXPECT_THROW(client->signInWithOAuth(Provider::github), velmoria::platform::WebAuthenticationError);
  records = sessions.sessions();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[1].gotAnchor);
  EXPECT_NE(records[1].provider, nullptr);
  EXPECT_FALSE(records[1].callbackURLScheme);
}

TEST(WebAuthentication, ThisPlatformsSessionReportsUnavailable) {
  FlowService auth;
  const auto client = auth.client();
  try {
    client->signInWithOAuth(Provider::github, {.redirectTo = url("app://callback")});
    ADD_FAILURE();
  } catch (const velmoria::platform::WebAuthenticationError& error) {
    EXPECT_EQ(error.code(), velmoria::platform::WebAuthenticationError::Code::unavailable);
  }
  EXPECT_FALSE(client->currentSession());
}

TEST(SingleSignOn, TheRedirectTravelsInTheBody) {
  FlowService auth;
  const auto client = auth.client();
  const auto answer = client->signInWithSSO(Domain{"example.com"}, {.redirectTo = url("app://callback")});
  EXPECT_FALSE(answer.url.absoluteString().empty());
  const auto request = auth.backend.lastRequest();
  EXPECT_TRUE(request.rawQuery.empty());
  const auto body = jsonBody(request);
  EXPECT_EQ(memberNames(body),
            (std::vector<std::string>{"code_challenge", "code_challenge_method", "domain", "redirect_to"}));
  EXPECT_EQ(body["redirect_to"], "app://callback");
  client->signInWithSSO(ProviderID{"idp-1"});
  EXPECT_EQ(memberNames(jsonBody(auth.backend.lastRequest())),
            (std::vector<std::string>{"code_challenge", "code_challenge_method", "provider_id"}));
}

TEST(Identities, LinkingAnIdTokenIsForcedAndAnnouncedAsAnUpdate) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail);
  const auto log = eventsOf(*client);
  const auto session =
      client->linkIdentityWithIdToken(OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::apple, "id"));
  const auto request = auth.backend.lastRequest();
  EXPECT_EQ(jsonBody(request)["link_identity"], true);
  EXPECT_EQ(request.header("Authorization"), "Bearer " + stored.accessToken);
  EXPECT_EQ(client->currentSession(), session);
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::userUpdated});
}

TEST(Identities, ALinkAnsweredAfterASignOutStoresAndAnnouncesNothing) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail);
  const auto log = eventsOf(*client);
  auth.service.hold("token");
  auth.service.hold("logout");
  std::optional<Session> linked;
  Background link([&, client = client] {
    linked = client->linkIdentityWithIdToken(OpenIDConnectCredentials(OpenIDConnectCredentials::Provider::apple, "id"));
  });
  ASSERT_TRUE(auth.service.waitUntilHeld("token", 1));
  Background signOut([&, client = client] { client->signOut(); });
  ASSERT_TRUE(auth.service.waitUntilHeld("logout", 1));
  auth.service.release("token");
  EXPECT_FALSE(link.join());
  auth.service.release("logout");
  EXPECT_FALSE(signOut.join());
  EXPECT_TRUE(linked);
  EXPECT_FALSE(client->currentSession());
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedOut});
}

TEST(Identities, TheLinkURLIsAskedForAndOpenedAsAnswered) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail);
  std::vector<std::string> opened;
  FlowService::change(*client, [&](Dependencies& dependencies) {
    dependencies.urlOpener.open = [&](const velmoria::base::URL& address) {
      opened.push_back(address.absoluteString());
    };
  });
  const auto response = client->getLinkIdentityURL(Provider::github);
  const auto request = auth.backend.lastRequest();
  EXPECT_EQ(request.path, "/auth/v1/user/identities/authorize");
  EXPECT_EQ(request.queryValue("skip_http_redirect"), "true");
  EXPECT_EQ(request.header("Authorization"), "Bearer " + stored.accessToken);
  EXPECT_EQ(response.url.absoluteString(), "https://provider.example/authorize?provider=github");
  client->linkIdentity(Provider::github);
  EXPECT_EQ(opened, std::vector<std::string>{response.url.absoluteString()});
  client->getLinkIdentityURL(Provider::google, {.queryParams = {{"login_hint", "ada+work@example.com"}}});
  EXPECT_NE(auth.backend.lastRequest().rawQuery.find("login_hint=ada%2Bwork@example.com"), std::string::npos)
      << auth.backend.lastRequest().rawQuery;
  std::vector<std::string> launched;
  client->linkIdentity(Provider::github, {},
                       [&](const velmoria::base::URL& address) { launched.push_back(address.absoluteString()); });
  EXPECT_EQ(launched, opened);
}

TEST(Identities, UnlinkUsesTheUpperCaseIdentityId) {
  FlowService auth;
  auto [client, stored] = auth.signedIn(kEmail);
  auto user = auth.service.user(kEmail);
  user.erase("identities");
  auth.service.failNext("user", ScriptedResponse::json(200, user.dump()));
  EXPECT_TRUE(client->userIdentities().empty());
  UserIdentity identity;
  identity.id = "provider-side-id";
  identity.identityId = *velmoria::base::UUID::fromString("6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b");
  client->unlinkIdentity(identity);
  EXPECT_EQ(auth.backend.lastRequest().method, "DELETE");
  EXPECT_EQ(auth.backend.lastRequest().path, "/auth/v1/user/identities/6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
}

}  // namespace
}  // namespace zirudeze::auth::testing
