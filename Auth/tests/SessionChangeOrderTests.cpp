// Two session changes that meet: a refresh, a sign-out, a new sign-in, an update or a clean-up answer in
// flight at once. The fake service holds one request while the test makes the other change, so each race
// runs in one chosen order; what is stored and what listeners heard are checked exactly.
#include <atomic>
#include <exception>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "FlowServiceTestSupport.hpp"
#include "auth/AuthError.hpp"

namespace zirudeze::auth::testing {
namespace {

using namespace std::chrono_literals;
using Event = AuthChangeEvent;

const std::string kEmail = "ada@example.com";

struct Race {
  FlowService auth;
  std::shared_ptr<AuthClient> client = auth.client();
  std::shared_ptr<const Dependencies> dependencies = dependenciesOf(*client);
  const SessionManager& manager = dependencies->sessionManager;

  Session store(double secondsLeft, const std::string& email = kEmail) {
    Session session = auth.session(email, secondsLeft);
    dependencies->sessionStorage.store(session);
    return session;
  }
  Session signIn(const std::string& email) {
    client->signInWithOTP(Email{email});
    return *client->verifyOTP(Email{email}, *auth.service.lastCode(email), EmailOTPType::email).session();
  }
};

TEST(SessionChangeOrder, ASignOutWhileARefreshIsAnnouncedIsHeardAfterIt) {
  Race race;
  race.store(-5);
  std::promise<void> reached;
  std::promise<void> letGo;
  const auto slowListener =
      race.dependencies->eventEmitter->attach([&, proceed = letGo.get_future().share()](Event event, const auto&) {
        if (event != Event::tokenRefreshed) return;
        reached.set_value();
        proceed.wait();
      });
  const auto log = eventsOf(*race.client);
  race.auth.service.hold("logout");

  Background refresher([&] { race.manager.session(); });
  ASSERT_EQ(reached.get_future().wait_for(20s), std::future_status::ready);
  Background signOut([&] { race.client->signOut(); });
  // The listener holds up no change: the sign-out is made and on the wire, its event waiting in line.
  EXPECT_TRUE(race.auth.service.waitUntilHeld("logout", 1));
  EXPECT_FALSE(race.client->currentSession());
  letGo.set_value();
  EXPECT_FALSE(refresher.join());
  race.auth.service.release("logout");
  EXPECT_FALSE(signOut.join());

  EXPECT_EQ(log.events(), (std::vector<Event>{Event::tokenRefreshed, Event::signedOut}));
  EXPECT_FALSE(race.client->currentSession());
}

TEST(SessionChangeOrder, AListenerThatSignsOutIsHeardAfterTheEventItWasGiven) {
  Race race;
  race.store(-5);
  const auto signsOut = race.dependencies->eventEmitter->attach([&](Event event, const auto&) {
    if (event == Event::tokenRefreshed) race.client->signOut(SignOutScope::local);
  });
  std::vector<std::pair<Event, std::optional<Session>>> heard;
  const auto later = race.dependencies->eventEmitter->attach(
      [&](Event event, const auto&) { heard.emplace_back(event, race.client->currentSession()); });

  const Session refreshed = race.manager.session();
  // The second listener hears the refresh first, then the sign-out the first listener made of it; the
  // sign-out is stored by the time it hears either, as it happened inside the refresh's announcement.
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].first, Event::tokenRefreshed);
  EXPECT_EQ(heard[1].first, Event::signedOut);
  EXPECT_FALSE(race.client->currentSession());
  EXPECT_FALSE(race.auth.service.isRefreshTokenLive(refreshed.refreshToken));
}

// Listeners run with no lock held: one may wait for another thread that reads the session...
TEST(SessionChangeOrder, AListenerMayWaitForAThreadThatReadsTheSession) {
  Race race;
  std::optional<Session> seen;
  // Outside the listener, so that a reader stuck behind it is waited for only once it has returned.
  std::future<Session> reading;
  const auto waits = race.dependencies->eventEmitter->attach([&](Event event, const auto&) {
    if (event != Event::signedIn) return;
    reading = std::async(std::launch::async, [&] { return race.client->session(); });
    if (reading.wait_for(3s) == std::future_status::ready) seen = reading.get();
  });
  const Session signedIn = race.signIn(kEmail);
  EXPECT_EQ(seen, signedIn) << "the reading thread waited for the listener";
}

// ... and one that waits for the service holds up nobody else's session.
TEST(SessionChangeOrder, AListenerWaitingForTheServiceHoldsUpNoOtherThreadsSession) {
  Race race;
  std::atomic<bool> answered{false};
  const auto loadsTheUser = race.dependencies->eventEmitter->attach([&](Event event, const auto&) {
    if (event != Event::signedIn) return;
    race.client->user();
    answered = true;
  });
  race.auth.service.hold("user");
  Background signIn([&] { race.signIn(kEmail); });
  ASSERT_TRUE(race.auth.service.waitUntilHeld("user", 1));
  std::promise<void> done;
  // The service answers after 2 s at the latest, so that a session query stuck behind the call ends.
  Background answering([&, done = done.get_future().share()] {
    done.wait_for(2s);
    race.auth.service.release("user");
  });
  EXPECT_EQ(race.client->session().user.email, kEmail);
  EXPECT_TRUE(race.auth.service.waitUntilHeld("user", 1, 0ms)) << "the session waited for the listener's call";
  EXPECT_FALSE(answered);
  done.set_value();
  EXPECT_FALSE(answering.join());
  EXPECT_FALSE(signIn.join());
  EXPECT_TRUE(answered);
}

TEST(SessionChangeOrder, ALateCleanUpAnswerLeavesANewerSignInAlone) {
  Race race;
  const Session old = race.store(-5);
  race.auth.service.hold("token");
  std::optional<Session> seen;
  Background refresher([&] { seen = race.manager.session(); });
  ASSERT_TRUE(race.auth.service.waitUntilHeld("token", 1));

  const auto log = eventsOf(*race.client);
  race.client->signOut();
  const Session signedIn = race.signIn("grace@example.com");
  // The old session is gone at the service: the held refresh is answered "refresh_token_not_found".
  race.auth.service.release("token");
  EXPECT_FALSE(refresher.join());

  EXPECT_EQ(race.client->currentSession(), signedIn);
  EXPECT_EQ(seen, signedIn);
  EXPECT_EQ(log.events(), (std::vector<Event>{Event::signedOut, Event::signedIn}));
  EXPECT_FALSE(race.auth.service.isRefreshTokenLive(old.refreshToken));
}

TEST(SessionChangeOrder, AnUpdateDuringARefreshKeepsTheRefreshedTokensAndTheUpdatedUser) {
  Race race;
  const Session original = race.store(3600);
  race.auth.service.hold("token");
  Session refreshed;
  Background refresher([&] { refreshed = race.manager.refreshSession(original.refreshToken); });
  ASSERT_TRUE(race.auth.service.waitUntilHeld("token", 1));

  const auto log = eventsOf(*race.client);
  const User updated =
      race.client->update(UserAttributes{.data = helpers::JSONObject{{"theme", helpers::AnyJSON("dark")}}});
  race.auth.service.release("token");
  EXPECT_FALSE(refresher.join());

  const auto stored = race.client->currentSession();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->refreshToken, refreshed.refreshToken);
  EXPECT_EQ(stored->accessToken, refreshed.accessToken);
  EXPECT_EQ(stored->user, updated);
  EXPECT_EQ(stored->user.userMetadata.at("theme"), helpers::AnyJSON("dark"));
  ASSERT_EQ(log.entries().size(), 2u);
  EXPECT_EQ(log.entries()[0].first, Event::userUpdated);
  EXPECT_EQ(log.entries()[1], (EventLog::Entry{Event::tokenRefreshed, stored}));
  // The stored token is the live one: the next refresh works.
  EXPECT_NO_THROW(race.client->refreshSession());
}

TEST(SessionChangeOrder, AnUpdateAnsweredAfterASignOutStoresAndAnnouncesNothing) {
  Race race;
  race.store(3600);
  race.auth.service.hold("user");
  race.auth.service.hold("logout");
  User answered;
  Background update([&] { answered = race.client->update(UserAttributes{.data = helpers::JSONObject{}}); });
  ASSERT_TRUE(race.auth.service.waitUntilHeld("user", 1));

  const auto log = eventsOf(*race.client);
  Background signOut([&] { race.client->signOut(); });
  ASSERT_TRUE(race.auth.service.waitUntilHeld("logout", 1));
  race.auth.service.release("user");
  EXPECT_FALSE(update.join());
  race.auth.service.release("logout");
  EXPECT_FALSE(signOut.join());

  EXPECT_EQ(answered.email, kEmail);
  EXPECT_FALSE(race.client->currentSession());
  EXPECT_EQ(log.events(), std::vector<Event>{Event::signedOut});
}

TEST(SessionChangeOrder, AnUpdateAfterARefreshChangesTheRefreshedSession) {
  Race race;
  const Session original = race.store(3600);
  race.auth.service.hold("user");
  User updated;
  Background update([&] { updated = race.client->update(UserAttributes{.data = helpers::JSONObject{}}); });
  ASSERT_TRUE(race.auth.service.waitUntilHeld("user", 1));
  const Session refreshed = race.client->refreshSession(original.refreshToken);
  race.auth.service.release("user");
  EXPECT_FALSE(update.join());

  const auto stored = race.client->currentSession();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->refreshToken, refreshed.refreshToken);
  EXPECT_EQ(stored->user, updated);
}

TEST(SessionChangeOrder, AnExplicitTokenIsRefreshedAfterTheRefreshInFlightNotDroppedForIt) {
  Race race;
  const Session ada = race.store(3600);
  const Session grace = race.auth.session("grace@example.com", 3600);
  race.auth.service.hold("token");
  Session first;
  Background refresher([&] { first = race.manager.refreshSession(ada.refreshToken); });
  ASSERT_TRUE(race.auth.service.waitUntilHeld("token", 1));
  Session second;
  Background other([&] { second = race.manager.refreshSession(grace.refreshToken); });
  // One request at a time: the second token is not sent while the first is on the wire.
  EXPECT_FALSE(race.auth.service.waitUntilHeld("token", 2, 100ms));
  race.auth.service.release("token");
  EXPECT_FALSE(refresher.join());
  EXPECT_FALSE(other.join());

  EXPECT_EQ(first.user.email, ada.user.email);
  EXPECT_EQ(second.user.email, "grace@example.com");
  const auto sent = race.auth.requestsTo("token");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(jsonBody(sent[1])["refresh_token"], grace.refreshToken);
  EXPECT_EQ(race.client->currentSession(), second);
}

TEST(SessionChangeOrder, RefreshingWithoutATokenNeverSendsOneARefreshHasJustUsed) {
  Race race;
  const Session stored = race.store(3600);
  // Right after the explicit refresh reads the stored session, another refresh of it runs to its end
  // (when it can: nothing may change the session while a refresh is being started). That one refreshes
  // only what is stored, so it joins the first or, coming after it, finds nothing left to do.
  std::atomic<bool> armed{true};
  std::optional<Background> competitor;
  FlowService::change(*race.client, [&](Dependencies& dependencies) {
    auto storage = dependencies.sessionStorage;
    dependencies.sessionStorage.get = [&, get = storage.get] {
      auto session = get();
      if (armed.exchange(false)) {
        const auto done = std::make_shared<std::promise<void>>();
        competitor.emplace([&race, &stored, done] {
          race.manager.refreshIfStored(stored.refreshToken);
          done->set_value();
        });
        done->get_future().wait_for(200ms);
      }
      return session;
    };
  });
  const auto log = eventsOf(*race.client);
  const Session refreshed = race.client->refreshSession();
  EXPECT_FALSE(competitor->join());

  EXPECT_EQ(race.client->currentSession(), refreshed);
  EXPECT_TRUE(race.auth.service.isRefreshTokenLive(refreshed.refreshToken));
  EXPECT_EQ(log.events(), std::vector<Event>{Event::tokenRefreshed});
}

}  // namespace
}  // namespace zirudeze::auth::testing
