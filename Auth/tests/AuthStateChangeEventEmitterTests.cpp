#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AuthClientTestSupport.hpp"
#include "auth/AuthClient.hpp"
#include "auth/AuthStateChangeEventEmitter.hpp"
#include "helpers/NotificationCenter.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace zirudeze::auth {
namespace {

using Heard = std::pair<AuthChangeEvent, std::optional<Session>>;

Session sessionWithToken(std::string token) {
  Session session;
  session.accessToken = std::move(token);
  session.refreshToken = "refresh-token-that-is-long-enough";
  return session;
}

// What the default notification centre saw of auth state changes while it lived.
class NotificationRecorder {
 public:
  NotificationRecorder()
      : token_(helpers::NotificationCenter::defaultCenter().addObserver(
            std::string(AuthClient::didChangeAuthStateNotification), [this](const helpers::Notification& n) {
              EXPECT_FALSE(n.object.has_value());
              ASSERT_EQ(n.userInfo.count("AuthClient.authChangeEvent"), 1u);
              ASSERT_EQ(n.userInfo.count("AuthClient.authChangeSession"), 1u);
              heard.emplace_back(std::any_cast<AuthChangeEvent>(n.userInfo.at("AuthClient.authChangeEvent")),
                                 std::any_cast<std::optional<Session>>(n.userInfo.at("AuthClient.authChangeSession")));
            })) {}

  std::vector<Heard> heard;

 private:
  helpers::ObservationToken token_;
};

TEST(AuthStateChangeEventEmitter, SignOutReachesObserversAndEveryListenerWithNoSession) {
  NotificationRecorder notifications;
  AuthStateChangeEventEmitter emitter;
  std::vector<Heard> first, second;
  const auto a = emitter.attach([&](AuthChangeEvent e, const std::optional<Session>& s) { first.emplace_back(e, s); });
  const auto b = emitter.attach([&](AuthChangeEvent e, const std::optional<Session>& s) { second.emplace_back(e, s); });
  emitter.emit(AuthChangeEvent::signedOut, std::nullopt);
  const std::vector<Heard> expected{{AuthChangeEvent::signedOut, std::nullopt}};
  EXPECT_EQ(notifications.heard, expected);
  EXPECT_EQ(first, expected);
  EXPECT_EQ(second, expected);
}

TEST(AuthStateChangeEventEmitter, TheNotificationIsPostedBeforeListenersHearTheEvent) {
  std::vector<std::string> order;
  const auto observer = helpers::NotificationCenter::defaultCenter().addObserver(
      std::string(kDidChangeAuthStateNotification), [&](const helpers::Notification&) { order.push_back("observer"); });
  AuthStateChangeEventEmitter emitter;
  const auto listener =
      emitter.attach([&](AuthChangeEvent, const std::optional<Session>&) { order.push_back("listener"); });
  emitter.emit(AuthChangeEvent::signedIn, sessionWithToken("a"));
  EXPECT_EQ(order, (std::vector<std::string>{"observer", "listener"}));
}

TEST(AuthStateChangeEventEmitter, WithATokenObserversStillHearItButOnlyThatListenerDoes) {
  NotificationRecorder notifications;
  AuthStateChangeEventEmitter emitter;
  int first = 0, second = 0;
  const auto a = emitter.attach([&](AuthChangeEvent, const std::optional<Session>&) { ++first; });
  const auto b = emitter.attach([&](AuthChangeEvent, const std::optional<Session>&) { ++second; });
  emitter.emit(AuthChangeEvent::initialSession, sessionWithToken("a"), b);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  ASSERT_EQ(notifications.heard.size(), 1u);
  EXPECT_EQ(notifications.heard[0].second->accessToken, "a");
}

TEST(AuthStateChangeEventEmitter, RemovedListenersHearNothingMoreAndLateOnesNothingEarlier) {
  AuthStateChangeEventEmitter emitter;
  int removed = 0, late = 0;
  const AuthStateChangeListenerRegistration registration =
      emitter.attach([&](AuthChangeEvent, const std::optional<Session>&) { ++removed; });
  emitter.emit(AuthChangeEvent::signedIn, sessionWithToken("a"));
  registration.remove();
  registration.remove();
  emitter.emit(AuthChangeEvent::tokenRefreshed, sessionWithToken("b"));
  const auto lateToken = emitter.attach([&](AuthChangeEvent, const std::optional<Session>&) { ++late; });
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(late, 0);
}

TEST(AuthStateChangeEventEmitter, AHeldListenerHearsItsOwnEventFirstThenTheHeldOnesInOrder) {
  AuthStateChangeEventEmitter emitter;
  std::vector<AuthChangeEvent> held, plain;
  const auto heldToken = emitter.attachHeldUntilAddressed([&](AuthChangeEvent event, const std::optional<Session>&) {
    held.push_back(event);
    // What the listener itself emits while its own event is delivered still comes after the held ones.
    if (event == AuthChangeEvent::initialSession) emitter.emit(AuthChangeEvent::userUpdated, std::nullopt);
  });
  const auto plainToken =
      emitter.attach([&](AuthChangeEvent event, const std::optional<Session>&) { plain.push_back(event); });
  emitter.emit(AuthChangeEvent::signedIn, sessionWithToken("a"));
  emitter.emit(AuthChangeEvent::signedOut, std::nullopt);
  EXPECT_TRUE(held.empty());
  emitter.emit(AuthChangeEvent::initialSession, std::nullopt, heldToken);
  emitter.emit(AuthChangeEvent::tokenRefreshed, sessionWithToken("b"));
  EXPECT_EQ(held, (std::vector<AuthChangeEvent>{AuthChangeEvent::initialSession, AuthChangeEvent::signedIn,
                                                AuthChangeEvent::signedOut, AuthChangeEvent::userUpdated,
                                                AuthChangeEvent::tokenRefreshed}));
  EXPECT_EQ(plain, (std::vector<AuthChangeEvent>{AuthChangeEvent::signedIn, AuthChangeEvent::signedOut,
                                                 AuthChangeEvent::userUpdated, AuthChangeEvent::tokenRefreshed}));
}

// Events go out one at a time in the order posted, whichever thread delivers them: one posted while
// another thread's listener is busy waits for it, and its poster does not.
TEST(AuthStateChangeEventEmitter, AnEventPostedDuringADeliveryWaitsInLineAndItsPosterReturns) {
  AuthStateChangeEventEmitter emitter;
  std::promise<void> reached;
  std::promise<void> letGo;
  std::vector<AuthChangeEvent> heard;
  const auto token = emitter.attach([&, proceed = letGo.get_future().share()](AuthChangeEvent event, const auto&) {
    heard.push_back(event);
    if (event != AuthChangeEvent::signedIn) return;
    reached.set_value();
    proceed.wait();
  });
  std::thread delivering([&] { emitter.emit(AuthChangeEvent::signedIn, sessionWithToken("a")); });
  reached.get_future().wait();
  emitter.emit(AuthChangeEvent::tokenRefreshed, sessionWithToken("b"));
  emitter.emit(AuthChangeEvent::signedOut, std::nullopt);
  EXPECT_EQ(heard.size(), 1u);
  letGo.set_value();
  delivering.join();
  EXPECT_EQ(heard, (std::vector<AuthChangeEvent>{AuthChangeEvent::signedIn, AuthChangeEvent::tokenRefreshed,
                                                 AuthChangeEvent::signedOut}));
}

// A listener has nobody to hand a failure to: it is reported, and the others and later events still go out.
TEST(AuthStateChangeEventEmitter, AFailingListenerIsReportedAndStopsNoOtherDelivery) {
  AuthStateChangeEventEmitter emitter;
  std::vector<AuthChangeEvent> heard;
  const auto failing = emitter.attach([](AuthChangeEvent event, const std::optional<Session>&) {
    if (event == AuthChangeEvent::signedIn) throw std::runtime_error("listener broke");
  });
  const auto other =
      emitter.attach([&](AuthChangeEvent event, const std::optional<Session>&) { heard.push_back(event); });
  const auto reporter = std::make_shared<issuereporting::testing::RecordingReporter>();
  issuereporting::withIssueReporters({reporter}, [&] {
    emitter.emit(AuthChangeEvent::signedIn, sessionWithToken("a"));
    emitter.emit(AuthChangeEvent::signedOut, std::nullopt);
  });
  EXPECT_EQ(heard, (std::vector<AuthChangeEvent>{AuthChangeEvent::signedIn, AuthChangeEvent::signedOut}));
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].text.find("listener broke"), std::string::npos) << calls[0].text;
}

TEST(AuthStateChangeEventEmitter, WithALoggerEachDeliveryIsLoggedWithoutTheTokens) {
  const auto logger = std::make_shared<testing::RecordingLogger>();
  AuthStateChangeEventEmitter emitter(logger);
  const auto token = emitter.attach([](AuthChangeEvent, const std::optional<Session>&) {});
  emitter.emit(AuthChangeEvent::tokenRefreshed, sessionWithToken("eyJhbGciOiJIUzI1NiJ9.secret-access-token.sig"));
  const auto records = logger->records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, helpers::ZirudezeLogLevel::verbose);
  EXPECT_EQ(records[0].system, "Auth");
  EXPECT_EQ(records[0].function, "attach(_:)");
  EXPECT_EQ(records[0].message.rfind("Auth state changed: (TOKEN_REFRESHED, Session(", 0), 0u) << records[0].message;
  EXPECT_EQ(records[0].message.find("secret-access-token"), std::string::npos);
  EXPECT_EQ(records[0].message.find("refresh-token-that-is-long-enough"), std::string::npos);
}

}  // namespace
}  // namespace zirudeze::auth
