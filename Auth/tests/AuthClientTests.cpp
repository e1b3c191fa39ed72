#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "AuthServiceTestSupport.hpp"
#include "auth/ApplicationActivity.hpp"
#include "auth/AuthClientLoggerDecorator.hpp"
#include "auth/AuthError.hpp"
#include "clocks/TestClock.hpp"
#include "concurrency/MainSerialHook.hpp"
#include "concurrency/Task.hpp"
#include "helpers/NotificationCenter.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace zirudeze::auth::testing {
namespace {

using namespace std::chrono_literals;
namespace ir = issuereporting;

const std::string kEmail = "ada@example.com";

void post(std::string_view name) { helpers::NotificationCenter::defaultCenter().post(std::string(name)); }

// Runs `body` with a recording issue reporter in force and returns what it recorded.
std::vector<ir::testing::Call> issuesDuring(const std::function<void()>& body) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  ir::withIssueReporters({reporter}, body);
  return reporter->calls();
}

// Waits for every task started before it, while the serial hook is installed.
void drainTasks() {
  concurrency::Task([] {}).value();
}

TEST(AuthClientCore, ClientsKeepTheirSessionsAndEventsApart) {
  AuthService auth;
  const auto first = auth.client();
  const auto second = auth.client();
  EXPECT_EQ(second->clientID(), first->clientID() + 1);
  const auto firstEvents = eventsOf(*first);
  const auto secondEvents = eventsOf(*second);

  first->signInWithOTP(Email{kEmail});
  first->verifyOTP(Email{kEmail}, *auth.service.lastCode(kEmail), EmailOTPType::email);
  EXPECT_TRUE(first->currentSession());
  EXPECT_FALSE(second->currentSession());
  EXPECT_EQ(first->currentUser()->email, kEmail);
  EXPECT_FALSE(second->currentUser());
  EXPECT_EQ(firstEvents.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedIn});
  EXPECT_TRUE(secondEvents.events().empty());
}

TEST(AuthClientCore, TheCurrentSessionIsTheStoredOneAndSessionRefreshesIt) {
  AuthService auth;
  const auto client = auth.client();
  const Session expired = auth.session(kEmail, -60);
  dependenciesOf(*client)->sessionStorage.store(expired);
  EXPECT_EQ(client->currentSession(), expired);
  EXPECT_TRUE(auth.requestsTo("token").empty());
  EXPECT_NE(client->session().accessToken, expired.accessToken);
  EXPECT_EQ(auth.requestsTo("token").size(), 1u);
}

TEST(AuthClientCore, RecordsNameTheirClient) {
  const auto logger = std::make_shared<RecordingLogger>();
  const AuthClientLoggerDecorator decorated(42, logger);
  helpers::ZirudezeLogMessage message;
  message.message = "hello";
  message.additionalContext = {{"client_id", helpers::AnyJSON(999)}, {"other", helpers::AnyJSON("kept")}};
  decorated.log(message);
  ASSERT_EQ(logger->records().size(), 1u);
  EXPECT_EQ(logger->records()[0].additionalContext.at("client_id"), helpers::AnyJSON(42));
  EXPECT_EQ(logger->records()[0].additionalContext.at("other"), helpers::AnyJSON("kept"));
}

TEST(AuthClientActivity, BecomingActiveStartsTheRefreshOnlyWhenItIsSwitchedOn) {
  AuthService auth;
  auto parameters = auth.parameters();
  parameters.autoRefreshToken = false;
  const auto off = auth.client(parameters);
  dependenciesOf(*off)->sessionStorage.store(auth.session(kEmail, -60));
  post(kApplicationDidBecomeActiveNotification);
  post(kApplicationWillResignActiveNotification);
  EXPECT_FALSE(eventually([&] { return !auth.requestsTo("token").empty(); }, 300ms));
  EXPECT_EQ(auth.logger->records().size(), 0u);

  const auto on = auth.client();
  dependenciesOf(*on)->sessionStorage.store(auth.session(kEmail, -60));
  post(kApplicationDidBecomeActiveNotification);
  EXPECT_TRUE(eventually([&] { return auth.requestsTo("token").size() == 1; }));
  post(kApplicationWillResignActiveNotification);
  EXPECT_TRUE(eventually([&] {
    const auto messages = auth.logger->messages();
    return std::find(messages.begin(), messages.end(), "stop auto refresh token") != messages.end();
  }));
}

TEST(AuthClientActivity, AGoneClientLeavesNoRefreshRunning) {
  AuthService auth;
  const auto clock = std::make_shared<clocks::TestClock>();
  auto client = auth.client(SessionManagerClocks{std::make_shared<helpers::TestClockSleepClock>(clock), {}});
  client->startAutoRefresh();
  ASSERT_TRUE(eventually([&] { return clock->suspensionCount() == 1; }));
  client.reset();
  EXPECT_TRUE(eventually([&] { return clock->suspensionCount() == 0; }));
}

TEST(AuthClientEvents, AStreamStartsWithItsInitialSessionAndDetachesWhenStopped) {
  AuthService auth;
  const auto client = auth.client();
  // An emitter that logs each delivery, so what still listens can be counted.
  Dependencies dependencies = *dependenciesOf(*client);
  const auto deliveries = std::make_shared<RecordingLogger>();
  dependencies.eventEmitter = std::make_shared<AuthStateChangeEventEmitter>(deliveries);
  Dependencies::set(client->clientID(), dependencies);

  std::stop_source stop;
  auto changes = client->authStateChanges();
  const auto initial = changes.next(stop.get_token());
  ASSERT_TRUE(initial);
  EXPECT_EQ(initial->first, AuthChangeEvent::initialSession);
  EXPECT_FALSE(initial->second);

  client->signInWithOTP(Email{kEmail});
  client->verifyOTP(Email{kEmail}, *auth.service.lastCode(kEmail), EmailOTPType::email);
  const auto signedIn = changes.next(stop.get_token());
  ASSERT_TRUE(signedIn);
  EXPECT_EQ(signedIn->first, AuthChangeEvent::signedIn);
  EXPECT_EQ(signedIn->second, client->currentSession());

  stop.request_stop();
  EXPECT_FALSE(changes.next(stop.get_token()));
  const auto delivered = deliveries->records().size();
  client->signOut();
  EXPECT_EQ(deliveries->records().size(), delivered);
}

TEST(AuthClientEvents, AnInitialSessionReachesOnlyTheNewListener) {
  AuthService auth;
  const auto client = auth.client();
  const auto earlier = eventsOf(*client);
  std::vector<AuthChangeEvent> heard;
  const auto registration =
      client->onAuthStateChange([&](AuthChangeEvent event, const std::optional<Session>&) { heard.push_back(event); });
  EXPECT_EQ(heard, std::vector<AuthChangeEvent>{AuthChangeEvent::initialSession});
  EXPECT_TRUE(earlier.events().empty());
  registration.remove();
  client->signInWithOTP(Email{kEmail});
  client->verifyOTP(Email{kEmail}, *auth.service.lastCode(kEmail), EmailOTPType::email);
  EXPECT_EQ(heard.size(), 1u);
}

// Another thread signs out right after a new listener's initial session has read the stored one: the
// listener must hear the sign-out last, or it would take the signed-out session for the current one.
TEST(AuthClientEvents, ASignOutWhileTheInitialSessionIsReadReachesTheNewListenerAfterIt) {
  AuthService auth;
  const auto client = auth.client();
  const Session lasting = auth.session(kEmail, 3600);
  const auto signOutAfterNextRead = [&] {
    dependenciesOf(*client)->sessionStorage.store(lasting);
    Dependencies dependencies = *dependenciesOf(*client);
    dependencies.sessionStorage.get = [get = dependencies.sessionStorage.get, client,
                                       pending = std::make_shared<std::atomic<bool>>(true)] {
      auto stored = get();
      if (pending->exchange(false)) std::thread([&] { client->signOut(SignOutScope::local); }).join();
      return stored;
    };
    Dependencies::set(client->clientID(), dependencies);
  };
  const std::vector<EventLog::Entry> expected{{AuthChangeEvent::initialSession, lasting},
                                              {AuthChangeEvent::signedOut, std::nullopt}};

  signOutAfterNextRead();
  std::vector<EventLog::Entry> heard;
  const auto registration = client->onAuthStateChange(
      [&](AuthChangeEvent event, const std::optional<Session>& session) { heard.emplace_back(event, session); });
  EXPECT_EQ(heard, expected);

  signOutAfterNextRead();
  std::stop_source stop;
  auto changes = client->authStateChanges();
  std::vector<EventLog::Entry> streamed;
  for (int i = 0; i < 2; ++i) {
    const auto change = changes.next(stop.get_token());
    ASSERT_TRUE(change);
    streamed.push_back(*change);
  }
  EXPECT_EQ(streamed, expected);
}

TEST(AuthClientInitialSession, TheStoredSessionIsSentAsItIsAndRefreshedWhenEnding) {
  // Tasks run one after another, so drainTasks() waits for a background refresh, if one was started.
  helpers::runWithMainSerialHook([] {
    AuthService auth;
    const auto client = auth.client();
    const auto store = [&](const Session& session) { dependenciesOf(*client)->sessionStorage.store(session); };
    // Each case has a listener of its own and removes it afterwards.
    const auto heardBy = [&](const std::function<void()>& before = [] {}) {
      auto heard = std::make_shared<std::vector<EventLog::Entry>>();
      before();
      const auto registration =
          client->onAuthStateChange([heard](AuthChangeEvent event, const std::optional<Session>& session) {
            heard->emplace_back(event, session);
          });
      drainTasks();
      return *heard;
    };

    const auto issues = issuesDuring([&] {
      EXPECT_EQ(heardBy(), (std::vector<EventLog::Entry>{{AuthChangeEvent::initialSession, std::nullopt}}));

      const Session lasting = auth.session(kEmail, 3600);
      store(lasting);
      EXPECT_EQ(heardBy(), (std::vector<EventLog::Entry>{{AuthChangeEvent::initialSession, lasting}}));
      EXPECT_TRUE(auth.requestsTo("token").empty());

      const Session ending = auth.session(kEmail, 10);
      store(ending);
      const auto failing =
          heardBy([&] { auth.service.failNext("token", auth.service.errorResponse(400, "validation_failed", "no")); });
      EXPECT_EQ(failing, (std::vector<EventLog::Entry>{{AuthChangeEvent::initialSession, ending}}));
      EXPECT_EQ(auth.requestsTo("token").size(), 1u);
      EXPECT_EQ(client->currentSession(), ending);

      const auto refreshed = heardBy();
      ASSERT_EQ(refreshed.size(), 2u);
      EXPECT_EQ(refreshed[0], (EventLog::Entry{AuthChangeEvent::initialSession, ending}));
      EXPECT_EQ(refreshed[1].first, AuthChangeEvent::tokenRefreshed);
      EXPECT_EQ(refreshed[1].second, client->currentSession());
    });
    EXPECT_TRUE(issues.empty());
    EXPECT_EQ(auth.requestsTo("token").size(), 2u);
  });
}

TEST(AuthClientInitialSession, TheOlderBehaviourRefreshesFirstAndReportsIt) {
  AuthService auth;
  auto parameters = auth.parameters();
  parameters.emitLocalSessionAsInitialSession = false;
  const auto client = auth.client(parameters);
  std::vector<EventLog::Entry> heard;
  const auto listen = [&] {
    return client->onAuthStateChange(
        [&](AuthChangeEvent event, const std::optional<Session>& session) { heard.emplace_back(event, session); });
  };

  auto issues = issuesDuring([&] { listen(); });
  EXPECT_EQ(heard, (std::vector<EventLog::Entry>{{AuthChangeEvent::initialSession, std::nullopt}}));
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(std::string_view(issues[0].location.fileID), "Auth/AuthClient");
  EXPECT_EQ(issues[0].text.substr(0, issues[0].text.find('\n')),
            "Initial session emitted after attempting to refresh the local stored session.");
  EXPECT_NE(issues[0].text.find("`session.isExpired` in the session.\n\n"), std::string::npos);

  heard.clear();
  dependenciesOf(*client)->sessionStorage.store(auth.session(kEmail, -60));
  issues = issuesDuring([&] { listen(); });
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].first, AuthChangeEvent::tokenRefreshed);
  EXPECT_EQ(heard[1].first, AuthChangeEvent::initialSession);
  EXPECT_EQ(heard[1].second, client->currentSession());
  EXPECT_EQ(issues.size(), 1u);
}

TEST(AuthClientInitialSession, TheBackgroundRefreshNeverSendsATokenThatWasRotatedOrSignedOut) {
  helpers::runWithMainSerialHook([] {
    AuthService auth;
    const auto client = auth.client();
    const auto dependencies = dependenciesOf(*client);
    dependencies->sessionStorage.store(auth.session(kEmail, 10));
    // Before the initial session's refresh gets to run, the token is rotated by another refresh.
    const auto rotated = client->onAuthStateChange([&](AuthChangeEvent event, const std::optional<Session>& session) {
      if (event == AuthChangeEvent::initialSession) dependencies->sessionManager.refreshSession(session->refreshToken);
    });
    drainTasks();
    EXPECT_EQ(auth.requestsTo("token").size(), 1u);
    ASSERT_TRUE(client->currentSession());
    EXPECT_TRUE(auth.service.isRefreshTokenLive(client->currentSession()->refreshToken));

    // Or the user signs out.
    dependencies->sessionStorage.store(auth.session(kEmail, 10));
    const auto signedOut = client->onAuthStateChange([&](AuthChangeEvent event, const std::optional<Session>&) {
      if (event == AuthChangeEvent::initialSession) client->signOut(SignOutScope::local);
    });
    drainTasks();
    EXPECT_EQ(auth.requestsTo("token").size(), 1u);
    EXPECT_FALSE(client->currentSession());
  });
}

TEST(AuthClientPKCE, ParametersFollowTheFlowType) {
  AuthService auth;
  auto parameters = auth.parameters();
  parameters.flowType = AuthFlowType::implicit;
  const auto implicit = auth.client(parameters);
  EXPECT_EQ(implicit->prepareForPKCE().codeChallenge, std::nullopt);
  EXPECT_FALSE(dependenciesOf(*implicit)->codeVerifierStorage.get());

  const auto client = auth.client();
  const auto pkce = client->prepareForPKCE();
  const auto verifier = dependenciesOf(*client)->codeVerifierStorage.get();
  ASSERT_TRUE(verifier);
  EXPECT_EQ(pkce.codeChallenge, PKCE::live().generateCodeChallenge(*verifier));
  EXPECT_EQ(pkce.codeChallengeMethod, "s256");

  Dependencies plain = *dependenciesOf(*client);
  plain.pkce.generateCodeChallenge = [](const std::string& verifier) { return verifier; };
  Dependencies::set(client->clientID(), plain);
  EXPECT_EQ(client->prepareForPKCE().codeChallengeMethod, "plain");
}

TEST(AuthClientPKCE, RedirectParametersBelongToTheFlowByTheirKeys) {
  AuthService auth;
  const auto client = auth.client();
  EXPECT_FALSE(client->isPKCEFlow({}));
  EXPECT_TRUE(client->isPKCEFlow({{"error", "x"}}));
  EXPECT_TRUE(client->isPKCEFlow({{"code", "x"}}));
  EXPECT_FALSE(client->isPKCEFlow({{"error_code", "x"}}));
  client->prepareForPKCE();
  EXPECT_TRUE(client->isPKCEFlow({{"error_code", "x"}}));
}

TEST(AuthClientPKCE, AProviderURLListsItsItemsInOrderAndDropsTheBaseQuery) {
  AuthService auth;
  auto parameters = auth.parameters();
  parameters.redirectToURL = velmoria::base::URL::parse("app://configured");
  const auto client = auth.client(parameters);
  const auto url = client->getURLForProvider(
      *velmoria::base::URL::parse("https://auth.example/authorize?old=1"), Provider::github,
      {.scopes = "repo", .queryParams = {{"provider", "again"}, {"bare", {}}}, .skipBrowserRedirect = true});
  const auto items = *velmoria::base::URLComponents(url).queryItems();
  std::vector<std::string> names;
  for (const auto& item : items) names.push_back(item.name);
  EXPECT_EQ(names, (std::vector<std::string>{"provider", "scopes", "redirect_to", "code_challenge",
                                             "code_challenge_method", "skip_http_redirect", "provider", "bare"}));
  EXPECT_EQ(items[0].value, "github");
  EXPECT_EQ(items[2].value, "app://configured");
  EXPECT_EQ(items[5].value, "true");
  EXPECT_FALSE(items[7].value);
}

// Services read a "+" in a query as a space; every "+" of the items goes out encoded, and reads back.
TEST(AuthClientPKCE, APlusInAProviderURLsItemsIsSentEncoded) {
  AuthService auth;
  const auto client = auth.client();
  const auto url = client->getURLForProvider(
      *velmoria::base::URL::parse("https://auth.example/authorize"), Provider::google,
      {.scopes = "email+profile", .queryParams = {{"login_hint", "ada+work@example.com"}, {"a+b", {}}}});
  const std::string query(*url.percentEncodedQuery());
  EXPECT_EQ(query.find('+'), std::string::npos) << query;
  EXPECT_NE(query.find("login_hint=ada%2Bwork@example.com"), std::string::npos) << query;
  const auto items = *velmoria::base::URLComponents(url).queryItems();
  EXPECT_EQ(items[1].value, "email+profile");
  EXPECT_EQ(items.back().name, "a+b");
  EXPECT_EQ(items[items.size() - 2].value, "ada+work@example.com");
}

}  // namespace
}  // namespace zirudeze::auth::testing
