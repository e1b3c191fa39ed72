#include "FacadeTestSupport.hpp"

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
    client = made;
    return made;
  }

  std::string functionsAuthorization() const {
    const auto header = client.lock()->functions()->headers()[http::HTTPField::Name::authorization()];
    return header.value_or("<none>");
  }

  // Announces the event, then a sign-out as a marker, and returns the tokens the current slot took for
  // the event alone (the marker's key is taken off).
  std::vector<std::string> pushedFor(AuthChangeEvent event, const std::optional<std::string>& token) {
    const auto before = recorder.tokens().size();
    announce(*client.lock(), event, token);
    announce(*client.lock(), AuthChangeEvent::signedOut, std::nullopt);
    EXPECT_TRUE(eventually([&] {
      const auto tokens = recorder.tokens();
      return tokens.size() > before && tokens.back() == kKey;
    }));
    auto tokens = recorder.tokens();
    tokens.erase(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(before));
    tokens.pop_back();
    return tokens;
  }

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
  // Nobody is signed in with the auth client, so the request keeps the functions client's header.
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
