#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

#include "AuthServiceTestSupport.hpp"
#include "auth/AuthError.hpp"
#include "clocks/TestClock.hpp"
#include "helpers/LogRedaction.hpp"

namespace zirudeze::auth::testing {
namespace {

using namespace std::chrono_literals;
using velmoria::testsupport::ScriptedResponse;

const std::string kEmail = "ada@example.com";

// A manager on a test clock (for its pauses) and a wall clock frozen at `now`.
struct ManagedClient {
  AuthService auth;
  std::shared_ptr<clocks::TestClock> clock = std::make_shared<clocks::TestClock>();
  velmoria::base::Date now = std::chrono::system_clock::now();
  std::shared_ptr<AuthClient> client =
      auth.client(SessionManagerClocks{std::make_shared<helpers::TestClockSleepClock>(clock), [this] { return now; }});
  std::shared_ptr<const Dependencies> dependencies = dependenciesOf(*client);
  const SessionManager& manager = dependencies->sessionManager;

  Session store(double secondsLeft) {
    Session session = auth.session(kEmail, secondsLeft, now);
    dependencies->sessionStorage.store(session);
    return session;
  }
  std::size_t tokenRequests() const { return auth.requestsTo("token").size(); }
  std::size_t recordsOf(std::string_view message) const {
    std::size_t count = 0;
    for (const auto& text : auth.logger->messages()) count += text.rfind(message, 0) == 0;
    return count;
  }
};

TEST(SessionManagerSession, KeepsASessionWithThirtyOneSecondsAndRefreshesOneWithTwentyNine) {
  ManagedClient managed;
  const Session lasting = managed.store(31);
  EXPECT_EQ(managed.manager.session(), lasting);
  EXPECT_EQ(managed.tokenRequests(), 0u);

  const Session ending = managed.store(29);
  const Session refreshed = managed.manager.session();
  EXPECT_NE(refreshed.refreshToken, ending.refreshToken);
  EXPECT_EQ(managed.tokenRequests(), 1u);
  EXPECT_EQ(managed.client->currentSession(), refreshed);

  managed.dependencies->sessionStorage.remove();
  EXPECT_THROW(managed.manager.session(), AuthError);
  EXPECT_EQ(managed.recordsOf("session missing"), 1u);
}

TEST(SessionManagerRefresh, ConcurrentCallersShareOneRequest) {
  ManagedClient managed;
  const Session expired = managed.store(-5);
  const auto log = eventsOf(*managed.client);
  managed.auth.service.setDelay("token", 300ms);

  std::vector<Session> results(3);
  std::atomic<int> failures{0};
  std::vector<std::thread> callers;
  for (auto& result : results) {
    callers.emplace_back([&] {
      try {
        result = managed.manager.session();
      } catch (...) {
        ++failures;
      }
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(failures.load(), 0);

  const auto requests = managed.auth.requestsTo("token");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].rawQuery, "grant_type=refresh_token");
  EXPECT_EQ(jsonBody(requests[0]), (velmoria::base::Json{{"refresh_token", expired.refreshToken}}));
  EXPECT_FALSE(requests[0].header("Authorization"));
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(results[1], results[2]);
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::tokenRefreshed});
  EXPECT_EQ(log.entries()[0].second, results[0]);
}

TEST(SessionManagerRefresh, TheSameTokenWhileInFlightJoinsTheRefresh) {
  ManagedClient managed;
  const Session session = managed.store(3600);
  managed.auth.service.hold("token");
  Session first;
  std::thread starter([&] { first = managed.manager.refreshSession(session.refreshToken); });
  ASSERT_TRUE(managed.auth.service.waitUntilHeld("token", 1));
  Session second;
  std::thread joiner([&] { second = managed.manager.refreshSession(session.refreshToken); });
  ASSERT_TRUE(eventually([&] { return managed.recordsOf("Refresh already in flight") == 1; }));
  managed.auth.service.release("token");
  starter.join();
  joiner.join();
  EXPECT_EQ(first, second);
  ASSERT_EQ(managed.tokenRequests(), 1u);
  EXPECT_EQ(jsonBody(managed.auth.requestsTo("token")[0])["refresh_token"], session.refreshToken);
}

TEST(SessionManagerRefresh, AFailedRefreshLeavesTheWayOpenForTheNext) {
  ManagedClient managed;
  const Session session = managed.store(-5);
  managed.auth.service.failNext("token", managed.auth.service.errorResponse(400, "validation_failed", "try again"));
  EXPECT_THROW(managed.manager.session(), AuthError);
  EXPECT_EQ(managed.client->currentSession(), session);
  EXPECT_NO_THROW(managed.manager.session());
  EXPECT_EQ(managed.tokenRequests(), 2u);
}

TEST(SessionManagerRefresh, AnUnknownRefreshTokenSignsOut) {
  ManagedClient managed;
  Session session = managed.store(-5);
  session.refreshToken = "never-issued";
  managed.dependencies->sessionStorage.store(session);
  const auto log = eventsOf(*managed.client);
  try {
    managed.manager.session();
    ADD_FAILURE() << "refreshed with an unknown token";
  } catch (const AuthError& error) {
    EXPECT_TRUE(error.is<AuthError::SessionMissingCase>());
  }
  EXPECT_FALSE(managed.client->currentSession());
  EXPECT_EQ(log.events(), std::vector<AuthChangeEvent>{AuthChangeEvent::signedOut});
}

TEST(SessionManagerRefresh, ARefreshOvertakenBySignOutStoresAndAnnouncesNothing) {
  ManagedClient managed;
  managed.store(-5);
  const auto log = eventsOf(*managed.client);
  managed.auth.service.hold("token");
  std::exception_ptr failure;
  std::thread caller([&] {
    try {
      managed.manager.session();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  ASSERT_TRUE(managed.auth.service.waitUntilHeld("token", 1));
  managed.manager.remove();
  managed.auth.service.release("token");
  caller.join();
  EXPECT_TRUE(failure && AuthError::matches(failure, AuthError::sessionMissing()));
  EXPECT_FALSE(managed.client->currentSession());
  EXPECT_TRUE(log.events().empty());
}

TEST(SessionManagerRefresh, ARefreshOvertakenByANewSignInHandsOutTheNewSession) {
  ManagedClient managed;
  managed.store(-5);
  const auto log = eventsOf(*managed.client);
  managed.auth.service.hold("token");
  Session seen;
  std::thread caller([&] { seen = managed.manager.session(); });
  ASSERT_TRUE(managed.auth.service.waitUntilHeld("token", 1));
  const Session signedIn = managed.auth.session("grace@example.com", 3600, managed.now);
  managed.manager.update(signedIn);
  managed.auth.service.release("token");
  caller.join();
  EXPECT_EQ(seen, signedIn);
  EXPECT_EQ(managed.client->currentSession(), signedIn);
  EXPECT_TRUE(log.events().empty());
}

TEST(SessionManagerRefresh, RefreshIfStoredSendsOnlyTheStoredToken) {
  ManagedClient managed;
  const Session session = managed.store(-5);
  managed.manager.refreshIfStored("rotated-meanwhile");
  EXPECT_EQ(managed.tokenRequests(), 0u);
  managed.manager.refreshIfStored(session.refreshToken);
  EXPECT_EQ(managed.tokenRequests(), 1u);
  managed.dependencies->sessionStorage.remove();
  managed.manager.refreshIfStored(session.refreshToken);
  EXPECT_EQ(managed.tokenRequests(), 1u);
}

TEST(SessionManagerLogging, RefreshRecordsCarryTheRefreshContextButNeverTheToken) {
  ManagedClient managed;
  const Session session = managed.store(-5);
  managed.manager.session();
  bool sawRequestRecord = false;
  for (const auto& record : managed.auth.logger->records()) {
    EXPECT_EQ(record.description().find(session.refreshToken), std::string::npos) << record.message;
    const bool inRefresh = record.function == "refreshSession(_:)" || record.function == "refreshRequestTask(_:)" ||
                           record.message.rfind("Request: POST", 0) == 0 || record.message.rfind("Response:", 0) == 0;
    if (!inRefresh) continue;
    sawRequestRecord = sawRequestRecord || record.message.rfind("Request: POST", 0) == 0;
    ASSERT_TRUE(record.additionalContext.contains("refresh_id")) << record.message;
    ASSERT_TRUE(record.additionalContext.contains("refresh_token")) << record.message;
    EXPECT_EQ(record.additionalContext.at("refresh_token"),
              helpers::AnyJSON(helpers::maskedSecret(session.refreshToken)));
    if (record.fileID == "Auth/SessionManager.cpp") {
      EXPECT_EQ(record.additionalContext.at("client_id"), helpers::AnyJSON(managed.client->clientID()));
      EXPECT_EQ(record.system, "Auth");
    }
  }
  EXPECT_TRUE(sawRequestRecord);
}

TEST(SessionManagerAutoRefresh, TicksRefreshAtThreeTicksOrFewer) {
  const std::vector<std::tuple<double, std::string, std::size_t>> cases{
      {120, "4", 0}, {119, "3", 1}, {-50, "-1", 1}, {1e300, "9223372036854775807", 0}};
  for (const auto& [secondsLeft, ticks, refreshes] : cases) {
    ManagedClient managed;
    managed.store(secondsLeft);
    managed.manager.startAutoRefresh();
    ASSERT_TRUE(eventually([&] { return managed.clock->suspensionCount() == 1; })) << secondsLeft;
    managed.manager.stopAutoRefresh();
    EXPECT_EQ(managed.recordsOf("access token expires in " + ticks +
                                " ticks, a tick lasts 30.0s, refresh threshold is 3 ticks"),
              1u)
        << secondsLeft;
    EXPECT_EQ(managed.tokenRequests(), refreshes) << secondsLeft;
  }
}

TEST(SessionManagerAutoRefresh, TickCountsSaturateOutsideTheIntegerRange) {
  constexpr auto most = std::numeric_limits<std::int64_t>::max();
  constexpr auto least = std::numeric_limits<std::int64_t>::min();
  EXPECT_EQ(autoRefreshTicks(std::numeric_limits<double>::infinity()), most);
  EXPECT_EQ(autoRefreshTicks(-std::numeric_limits<double>::infinity()), least);
  EXPECT_EQ(autoRefreshTicks(std::nan("")), least);
  EXPECT_EQ(autoRefreshTicks(-1e300), least);
  EXPECT_EQ(autoRefreshTicks(9223372036854775807.0 * 30), most);
  EXPECT_EQ(autoRefreshTicks(89.9), 2);
  EXPECT_EQ(autoRefreshTicks(-29.9), 0);
}

TEST(SessionManagerAutoRefresh, StartingTwiceLeavesOneLoopThatTicksEveryThirtySeconds) {
  ManagedClient managed;
  managed.store(3600);
  const auto ticks = [&] { return managed.recordsOf("access token expires in"); };
  managed.manager.stopAutoRefresh();
  EXPECT_EQ(managed.recordsOf("stop auto refresh token"), 1u);

  managed.manager.startAutoRefresh();
  ASSERT_TRUE(eventually([&] { return ticks() == 1 && managed.clock->suspensionCount() == 1; }));
  managed.manager.startAutoRefresh();
  ASSERT_TRUE(eventually([&] { return ticks() == 2 && managed.clock->suspensionCount() == 1; }));

  managed.clock->advance(29s);
  EXPECT_EQ(ticks(), 2u);
  managed.clock->advance(1s);
  ASSERT_TRUE(eventually([&] { return ticks() == 3 && managed.clock->suspensionCount() == 1; }));
  EXPECT_FALSE(eventually([&] { return ticks() > 3; }, 200ms));

  managed.manager.stopAutoRefresh();
  ASSERT_TRUE(eventually([&] { return managed.clock->suspensionCount() == 0; }));
  managed.clock->advance(60s);
  EXPECT_EQ(ticks(), 3u);
}

TEST(SessionManagerAutoRefresh, ANothingStoredCheckLogsOnlyItsTrace) {
  ManagedClient managed;
  managed.manager.startAutoRefresh();
  ASSERT_TRUE(eventually([&] { return managed.clock->suspensionCount() == 1; }));
  managed.manager.stopAutoRefresh();
  std::vector<std::string> tick;
  for (const auto& record : managed.auth.logger->records()) {
    if (record.function == "autoRefreshTokenTick()") tick.push_back(record.message);
  }
  EXPECT_EQ(tick, (std::vector<std::string>{"begin", "end"}));
}

}  // namespace
}  // namespace zirudeze::auth::testing
