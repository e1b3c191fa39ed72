#include <any>
#include <future>
#include <thread>

#include "FacadeTestSupport.hpp"
#include "helpers/NotificationCenter.hpp"

namespace zirudeze::testing {
namespace {

using auth::AuthChangeEvent;
using Entries = std::vector<TokenRecorder::Entry>;

// A facade whose realtime slots record what they take; the legacy slot also notes the functions
// client's "Authorization" at that moment.
class TokenPushTest : public FacadeTest {
 protected:
  std::shared_ptr<ZirudezeClient> recordedFacade() {
    auto made = facade(options(), RealtimeTokenReceivers{
                                      .legacy = recorder.receiver("legacy",
                                                                  [this](const std::string&) {
                                                                    std::lock_guard lock(mutex);
                                                                    seenByLegacy.push_back(functionsAuthorization());
                                                                  }),
                                      .current = recorder.receiver("current"),
                                  });
    // A stored session may be pushed before this.
    std::lock_guard lock(mutex);
    client = made;
    return made;
  }

  std::string functionsAuthorization() const {
    const auto facade = client.lock();
    if (!facade) return "<no facade yet>";
    return facade->functions()->headers()[http::HTTPField::Name::authorization()].value_or("<none>");
  }

  // Announces the event, then a sign-out, a sign-in with a token of its own and a sign-out again as a
  // marker (which leaves no token stored), and returns the tokens the current slot took for the event
  // alone.
  std::vector<std::string> pushedFor(AuthChangeEvent event, const std::optional<std::string>& token) {
    const auto facade = client.lock();
    const auto before = recorder.tokens().size();
    const auto marker = "marker-" + std::to_string(++markers);
    announce(*facade, event, token);
    announce(*facade, AuthChangeEvent::signedOut, std::nullopt);
    announce(*facade, AuthChangeEvent::signedIn, marker);
    announce(*facade, AuthChangeEvent::signedOut, std::nullopt);
    EXPECT_TRUE(eventually([&] {
      const auto tokens = recorder.tokens();
      return tokens.size() >= before + 3 && tokens[tokens.size() - 2] == marker;
    }));
    auto tokens = recorder.tokens();
    tokens.erase(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(std::vector<std::string>(tokens.end() - 3, tokens.end()), (std::vector<std::string>{kKey, marker, kKey}));
    tokens.resize(tokens.size() - 3);
    return tokens;
  }

  int markers = 0;
  TokenRecorder recorder;
  std::weak_ptr<ZirudezeClient> client;
  std::mutex mutex;
  std::vector<std::string> seenByLegacy;
};

TEST_F(TokenPushTest, AnInitialSessionWithoutASessionPushesNothing) {
  const auto facade = recordedFacade();
  ASSERT_TRUE(waitUntilListening(*facade, recorder));
  // Had the initial session pushed the key, it would come first.
  EXPECT_EQ(recorder.entries(), (Entries{{"legacy", "token-a"}, {"current", "token-a"}}));
}

TEST_F(TokenPushTest, ASignInPushesToFunctionsThenLegacyThenCurrent) {
  const auto facade = recordedFacade();
  ASSERT_TRUE(waitUntilListening(*facade, recorder));
  EXPECT_EQ(recorder.entries(), (Entries{{"legacy", "token-a"}, {"current", "token-a"}}));
  std::lock_guard lock(mutex);
  EXPECT_EQ(seenByLegacy, std::vector<std::string>{"Bearer token-a"});
}

TEST_F(TokenPushTest, TheSameTokenAgainPushesNothingAndANewOneDoes) {
  const auto facade = recordedFacade();
  ASSERT_TRUE(waitUntilListening(*facade, recorder));
  announce(*facade, AuthChangeEvent::signedIn, "token-a");
  announce(*facade, AuthChangeEvent::tokenRefreshed, "token-a");
  announce(*facade, AuthChangeEvent::initialSession, "token-a");
  announce(*facade, AuthChangeEvent::tokenRefreshed, "token-b");
  ASSERT_TRUE(recorder.waitForTokens(2));
  announce(*facade, AuthChangeEvent::signedOut, std::nullopt);
  ASSERT_TRUE(recorder.waitForTokens(3));
  EXPECT_EQ(recorder.tokens(), (std::vector<std::string>{"token-a", "token-b", kKey}));
}

TEST_F(TokenPushTest, ASignOutPushesTheKeyAndForgetsTheToken) {
  const auto facade = recordedFacade();
  ASSERT_TRUE(waitUntilListening(*facade, recorder));
  announce(*facade, AuthChangeEvent::signedOut, std::nullopt);
  ASSERT_TRUE(recorder.waitForTokens(2));
  EXPECT_EQ(functionsAuthorization(), "Bearer " + kKey);
  // The token from before the sign-out counts as new again.
  EXPECT_EQ(pushedFor(AuthChangeEvent::signedIn, "token-a"), std::vector<std::string>{"token-a"});
  // A second sign-out still pushes the key.
  EXPECT_EQ(pushedFor(AuthChangeEvent::signedOut, std::nullopt), std::vector<std::string>{kKey});
}

TEST_F(TokenPushTest, OtherEventsPushNothingEvenWithANewToken) {
  const auto facade = recordedFacade();
  ASSERT_TRUE(waitUntilListening(*facade, recorder));
  for (const auto event : {AuthChangeEvent::passwordRecovery, AuthChangeEvent::userUpdated,
                           AuthChangeEvent::userDeleted, AuthChangeEvent::mfaChallengeVerified}) {
    EXPECT_TRUE(pushedFor(event, "token-new").empty()) << static_cast<int>(event);
  }
}

TEST_F(TokenPushTest, APushEventWithoutASessionWhileATokenIsStoredPushesTheKey) {
  const auto facade = recordedFacade();
  ASSERT_TRUE(waitUntilListening(*facade, recorder));
  announce(*facade, AuthChangeEvent::tokenRefreshed, std::nullopt);
  ASSERT_TRUE(recorder.waitForTokens(2));
  EXPECT_EQ(recorder.tokens().back(), kKey);
  // Nothing is stored any more: the same event again pushes nothing, a token pushes.
  EXPECT_TRUE(pushedFor(AuthChangeEvent::initialSession, std::nullopt).empty());
  EXPECT_EQ(pushedFor(AuthChangeEvent::signedIn, "token-a"), std::vector<std::string>{"token-a"});
}

TEST_F(TokenPushTest, AnInvocationCarriesThePushedToken) {
  const auto facade = recordedFacade();
  ASSERT_TRUE(waitUntilListening(*facade, recorder, "pushed-token"));
  // With nothing stored the lookup fails, so the request keeps the functions client's header.
  auth::Dependencies::get(facade->auth()->clientID())->sessionStorage.remove();
  facade->functions()->invoke("hello");
  EXPECT_EQ(functions.invocations("hello").at(0).headerValues("Authorization"),
            std::vector<std::string>{"Bearer pushed-token"});
  // Streamed invocations never pass the authorising fetch.
  const auto token = signIn(*facade);
  ASSERT_TRUE(eventually([&] { return recorder.tokens().back() == token; }));
  const auto stream = facade->functions()->invokeWithStreamedResponse("hello");
  while (stream.next()) {
  }
  EXPECT_EQ(functions.invocations("hello").at(1).header("Authorization"), "Bearer " + token);
}

TEST_F(TokenPushTest, ARealSignInAndSignOutArePushed) {
  const auto facade = recordedFacade();
  const auto token = signIn(*facade);
  ASSERT_TRUE(recorder.waitForTokens(1));
  facade->auth()->signOut();
  ASSERT_TRUE(recorder.waitForTokens(2));
  EXPECT_EQ(recorder.tokens(), (std::vector<std::string>{token, kKey}));
  EXPECT_EQ(functionsAuthorization(), "Bearer " + kKey);
}

// Observers of the notification hear each change before any listener, so one that is slow to hear a
// refresh leaves the room a sign-out would need to be announced, and pushed, ahead of it.
TEST_F(TokenPushTest, ASignOutRacingARefreshLeavesTheKeyPushedLast) {
  const auto facade = recordedFacade();
  const auto token = signIn(*facade);
  ASSERT_TRUE(eventually([&] { return !recorder.tokens().empty() && recorder.tokens().back() == token; }));
  auto due = *facade->auth()->currentSession();
  due.expiresAt -= due.expiresIn;
  auth::Dependencies::get(facade->auth()->clientID())->sessionStorage.store(due);

  std::promise<void> reached;
  std::promise<void> letGo;
  const auto slowObserver = helpers::NotificationCenter::defaultCenter().addObserver(
      std::string(auth::kDidChangeAuthStateNotification),
      [&, proceed = letGo.get_future().share()](const helpers::Notification& notification) {
        const auto event =
            std::any_cast<AuthChangeEvent>(notification.userInfo.at(std::string(auth::kAuthChangeEventKey)));
        if (event != AuthChangeEvent::tokenRefreshed) return;
        reached.set_value();
        proceed.wait();
      });
  service.hold("logout");
  std::string refreshed;
  std::thread refresher([&] { refreshed = facade->auth()->session().accessToken; });
  ASSERT_EQ(reached.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  std::thread signOut([&] { facade->auth()->signOut(); });
  service.waitUntilHeld("logout", 1, std::chrono::milliseconds(200));
  letGo.set_value();
  refresher.join();
  service.release("logout");
  signOut.join();

  ASSERT_TRUE(recorder.waitForTokens(3));
  EXPECT_EQ(recorder.tokens(), (std::vector<std::string>{token, refreshed, kKey}));
  EXPECT_EQ(functionsAuthorization(), "Bearer " + kKey);
}

TEST_F(TokenPushTest, AStoredSessionIsPushedAtStart) {
  std::string token;
  {
    const auto first = facade();
    token = signIn(*first);
  }
  const auto second = recordedFacade();
  ASSERT_TRUE(recorder.waitForTokens(1));
  EXPECT_EQ(recorder.tokens(), std::vector<std::string>{token});
}

TEST_F(TokenPushTest, AReceiverThatThrowsStopsNoOtherReceiver) {
  auto made = facade(options(), RealtimeTokenReceivers{
                                    .legacy = [](const std::string&) { throw std::runtime_error("socket gone"); },
                                    .current = recorder.receiver("current"),
                                });
  ASSERT_TRUE(waitUntilListening(*made, recorder));
  announce(*made, AuthChangeEvent::tokenRefreshed, "token-b");
  ASSERT_TRUE(recorder.waitForTokens(2));
  EXPECT_EQ(made->functions()->headers()[http::HTTPField::Name::authorization()], "Bearer token-b");
}

}  // namespace
}  // namespace zirudeze::testing
