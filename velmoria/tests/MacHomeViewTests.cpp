// The home screen over platform fakes, a manual clock and the fake backend.
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <map>

#include <gtest/gtest.h>

#include "HomeTestSupport.hpp"
#include "ScreenTestSupport.hpp"
#include "velmoria/AppPickerView.hpp"
#include "velmoria/HomeControls.hpp"
#include "velmoria/HomeTexts.hpp"
#include "velmoria/MacHomeView.hpp"
#include "velmoria/RingAnimator.hpp"
#include "velmoria/ScreenWidgets.hpp"
#include "velmoria/SessionGuard.hpp"
#include "velmoria/SessionViewModel.hpp"
#include "velmoria/WebBlocklistView.hpp"

using namespace std::chrono_literals;
using State = velmoria::TransparentProxyManager::State;
using velmoria::MacHomeView;
using velmoria::SelectionRow;
using velmoria::SessionViewModel;
using velmoria::testing::processFor;
using velmoria::testing::processUntil;
using velmoria::testsupport::ScriptedResponse;

namespace {

class HomeTest : public ::testing::Test, protected velmoria::testing::AppFixture {
 protected:
  HomeTest() {
    signIn(*client);
    appState.setLoggedIn(true);
    addMode("strict", true);
    addMode("free", false);
    QObject::connect(&blocker, &velmoria::MacBlocker::isActiveChanged, &context, [this](bool active) {
      // Whether the filter had been told yet when blocking changed.
      calls.push_back(std::string(active ? "activate" : "deactivate") +
                      (proxy.sessionActive() == active ? " after filter" : " before filter"));
    });
  }

  // Shows the screen and waits for its first refresh.
  MacHomeView& show() {
    home = std::make_unique<MacHomeView>(environment(), session);
    home->resize(540, 900);
    home->show();
    const int before = finished;
    home->appear();
    EXPECT_TRUE(processUntil([&] { return finished > before; }));
    return *home;
  }

  // One tick of the refresh timer, and its refresh to its end.
  void nextRefresh() {
    const int before = finished;
    scheduler.advance(15s);
    ASSERT_TRUE(processUntil([&] { return finished > before; }));
    processFor(20ms);  // what the lock change queued
  }

  // A running strict session on screen, started `ago`, after a refresh of its own.
  void showRunningSession(std::chrono::seconds ago = 60s) {
    openSession(now - ago, "strict");
    bool done = false;
    session.refresh([&] { done = true; });
    ASSERT_TRUE(processUntil([&] { return done; }));
    show();
    processFor(50ms);
  }

  // Five frames of the glow's pulse.
  void pulseFrames() {
    for (int frame = 0; frame < 5; ++frame) {
      scheduler.advance(velmoria::RingAnimator::pulseFrame);
      processFor(20ms);
    }
  }

  // Ends the test's own connections before the app objects go.
  QObject context;
  SessionViewModel session{client};
  std::unique_ptr<MacHomeView> home;
  std::vector<std::string> calls;
  int finished = 0;
  QMetaObject::Connection counting =
      QObject::connect(&session, &SessionViewModel::refreshFinished, [this] { ++finished; });
  const std::chrono::system_clock::time_point now = scheduler.now();
};

TEST_F(HomeTest, RefreshesWhenShownThenEvery15SecondsAndNeverAfterRemoval) {
  show();
  EXPECT_EQ(sessionQueries(), 1u);
  scheduler.advance(14s);
  processFor(30ms);
  EXPECT_EQ(sessionQueries(), 1u);
  nextRefresh();
  EXPECT_EQ(sessionQueries(), 2u);
  nextRefresh();
  EXPECT_EQ(sessionQueries(), 3u);
  EXPECT_FALSE(proxy.sessionActive());

  home->disappear();
  scheduler.advance(60s);
  processFor(100ms);
  EXPECT_EQ(sessionQueries(), 3u);
  EXPECT_EQ(scheduler.activeTimerCount(), 0);
}

TEST_F(HomeTest, LockChangesSwitchBlockingFirstThenTheFilter) {
  show();
  EXPECT_FALSE(home->isLocked());
  EXPECT_EQ(home->titleText(), QStringLiteral("Hey there 👋"));
  EXPECT_TRUE(velmoria::HomeTexts::quotes().contains(home->subtitleText()));

  const auto id = openSession(now + 15s - 2h, "strict");
  nextRefresh();
  EXPECT_TRUE(home->isLocked());
  EXPECT_TRUE(blocker.isActive());
  EXPECT_TRUE(velmoria::SessionGuard::isLocked);
  EXPECT_TRUE(proxy.sessionActive());
  EXPECT_EQ(home->titleText(), QStringLiteral("2:00:00"));
  EXPECT_EQ(home->subtitleText(), QStringLiteral("Focus is active — stay locked in."));
  EXPECT_EQ(home->findChild<velmoria::StatusPill*>("statusPill")->text(), QStringLiteral("Focus active"));

  endSession(id, now);
  nextRefresh();
  EXPECT_FALSE(blocker.isActive());
  EXPECT_FALSE(proxy.sessionActive());
  EXPECT_EQ(calls, (std::vector<std::string>{"activate before filter", "deactivate before filter"}));
  EXPECT_EQ(home->findChild<velmoria::StatusPill*>("statusPill")->text(), QStringLiteral("Following along"));
}

TEST_F(HomeTest, ASessionOfANonBlockingModeNeverBlocksNotEvenWhileItsModeIsSlow) {
  show();
  openSession(now - 10min, "free");
  database.failNext("modes", ScriptedResponse::json(200, R"([{"block_on_mac":false}])").after(300ms));
  nextRefresh();
  ASSERT_TRUE(session.activeSession());
  EXPECT_FALSE(home->isLocked());
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(workspace.sweeps, std::vector<bool>{}) << "nothing was terminated";
  EXPECT_EQ(home->findChild<velmoria::StatusPill*>("statusPill")->text(), QStringLiteral("Following along"));
}

TEST_F(HomeTest, ShownLockedTellsTheFilterAndStartsTheClockButActivatesNothing) {
  openSession(now - 3599s, "strict");
  bool done = false;
  session.refresh([&] { done = true; });
  ASSERT_TRUE(processUntil([&] { return done; }));
  show();
  EXPECT_TRUE(home->isLocked());
  EXPECT_TRUE(proxy.sessionActive());
  EXPECT_TRUE(calls.empty()) << "blocking that is on stays on; showing switches nothing";
  EXPECT_EQ(home->titleText(), QStringLiteral("59:59"));
  scheduler.advance(1s);
  EXPECT_EQ(home->titleText(), QStringLiteral("1:00:00"));
  EXPECT_EQ(home->ringState().arcProgress, 1.0);
}

// Which widgets repaint, by object name.
class PaintLog final : public QObject {
 public:
  std::map<QString, int> paints;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints[watched->objectName()];
    return QObject::eventFilter(watched, event);
  }
};

TEST_F(HomeTest, TheGlowsPulseRepaintsTheRingAloneNotTheTextsAroundIt) {
  ASSERT_NO_FATAL_FAILURE(showRunningSession());
  PaintLog log;
  for (const char* name : {"ring", "explanation", "blockedAppsSummary"})
    home->findChild<QWidget*>(name)->installEventFilter(&log);
  pulseFrames();
  EXPECT_GE(log.paints["ring"], 3);
  EXPECT_EQ(log.paints["explanation"], 0) << "the explanation under the ring was drawn again";
  EXPECT_EQ(log.paints["blockedAppsSummary"], 0);
}

TEST_F(HomeTest, TheRingRestsWhileAShieldStandsOverTheScreenAndPulsesAgainAfter) {
  ASSERT_NO_FATAL_FAILURE(showRunningSession());
  PaintLog log;
  home->findChild<QWidget*>("ring")->installEventFilter(&log);
  const auto pulse = [&] {
    log.paints.clear();
    pulseFrames();
    return log.paints["ring"];
  };

  blocker.overlay().show("Game");
  EXPECT_TRUE(home->isCovered());
  EXPECT_EQ(pulse(), 0) << "the glow pulsed under the shield";
  blocker.overlay().dismiss();
  EXPECT_FALSE(home->isCovered());
  EXPECT_GE(pulse(), 3) << "the glow did not pulse again once the shield went";
}

TEST_F(HomeTest, TheLockedGradientFadesAtThirtyFramesASecondOverTheTopHalfAlone) {
  show();
  processFor(50ms);
  PaintLog log;
  home->installEventFilter(&log);
  for (const char* name : {"greetingTitle", "loginCard", "filterCard"})
    home->findChild<QWidget*>(name)->installEventFilter(&log);
  openSession(now - 1min, "strict");
  nextRefresh();
  log.paints.clear();
  int frames = 0;
  double last = home->gradientOpacity();
  for (auto elapsed = 0ms; elapsed < MacHomeView::gradientFadeDuration + MacHomeView::gradientFadeFrame;
       elapsed += 10ms) {
    scheduler.advance(10ms);
    if (home->gradientOpacity() != last) ++frames;
    EXPECT_GE(home->gradientOpacity(), last);
    last = home->gradientOpacity();
  }
  processFor(20ms);
  EXPECT_EQ(home->gradientOpacity(), 1.0);
  EXPECT_GE(frames, 12);
  EXPECT_LE(frames, 17);
  EXPECT_GE(log.paints["greetingTitle"], 1) << "the top half was not redrawn";
  for (const char* name : {"loginCard", "filterCard"})
    EXPECT_EQ(log.paints[name], 0) << name << " below the gradient was redrawn";
}

TEST_F(HomeTest, TheGradientsFadeLeavesTheScrollBarAloneWhichHidesWhatIsUnderIt) {
  show();
  home->resize(540, 560);  // too short for its column: the scroll bar shows
  processFor(50ms);
  QScrollBar* bar = home->findChild<QScrollArea*>("homeScroll")->verticalScrollBar();
  ASSERT_TRUE(bar->isVisible());
  QImage alone(bar->size(), QImage::Format_ARGB32_Premultiplied);
  alone.fill(Qt::transparent);
  bar->render(&alone, QPoint(), QRegion(), QWidget::DrawChildren);
  for (int y = 0; y < alone.height(); ++y)
    for (int x = 0; x < alone.width(); ++x)
      ASSERT_EQ(qAlpha(alone.pixel(x, y)), 255) << "the gradient shows through the scroll bar at " << x << "," << y;

  PaintLog log;
  bar->setObjectName("bar");
  bar->installEventFilter(&log);
  home->findChild<QWidget*>("greetingTitle")->installEventFilter(&log);
  openSession(now - 1min, "strict");
  nextRefresh();
  log.paints.clear();
  for (auto elapsed = 0ms; elapsed < MacHomeView::gradientFadeDuration; elapsed += MacHomeView::gradientFadeFrame) {
    scheduler.advance(MacHomeView::gradientFadeFrame);
    processFor(5ms);
  }
  EXPECT_GE(log.paints["greetingTitle"], 5);
  EXPECT_EQ(log.paints["bar"], 0) << "every frame of the fade redrew the scroll bar";
}

TEST_F(HomeTest, LockingUnderAShieldEndsTheTransitionsAtOnce) {
  show();
  processFor(50ms);
  openSession(now - 1min, "strict");
  blocker.overlay().show("Game");
  const int before = finished;
  home->refreshSession();
  ASSERT_TRUE(processUntil([&] { return finished > before; }));
  processFor(20ms);
  ASSERT_TRUE(home->isLocked());
  ASSERT_TRUE(home->isCovered());
  EXPECT_EQ(home->gradientOpacity(), 1.0);
  EXPECT_EQ(home->ringState().arcProgress, 1.0);
}

TEST_F(HomeTest, TheClockTicksWithoutALayoutPassOfTheScreen) {
  showRunningSession(3601s);
  velmoria::testing::EventCount requests(QEvent::LayoutRequest);
  for (QWidget* w = home->findChild<QWidget*>("greetingTitle")->parentWidget(); w != nullptr; w = w->parentWidget())
    w->installEventFilter(&requests);
  const QString before = home->titleText();
  scheduler.advance(1s);
  processFor(30ms);
  EXPECT_NE(home->titleText(), before);
  EXPECT_EQ(requests.count, 0) << "every second a layout pass of the whole screen for digits of the same width";
}

TEST_F(HomeTest, TheClockStartsAtZeroForAStartInTheFuture) {
  show();
  openSession(now + 90s, "strict");
  nextRefresh();
  EXPECT_TRUE(home->isLocked());
  EXPECT_EQ(home->titleText(), QStringLiteral("00:00"));
  scheduler.advance(1s);
  EXPECT_EQ(home->titleText(), QStringLiteral("00:01"));
  // A newer session under the same lock does not restart the clock.
  openSession(now + 95s, "strict");
  nextRefresh();
  EXPECT_EQ(home->elapsedSeconds(), 16);
}

TEST_F(HomeTest, LockingWithThePickerOpenClosesBothSheetsAndSweepsAfterActivating) {
  show();
  blocklist.toggle("org.example.Game");
  home->openAppPicker();
  home->openSitesPicker();
  ASSERT_TRUE(home->showingPicker());
  ASSERT_TRUE(home->showingSitesPicker());
  auto game = workspace.fake.addApp("org.example.Game", "Game");

  openSession(now - 1min, "strict");
  nextRefresh();
  EXPECT_FALSE(home->showingPicker());
  EXPECT_FALSE(home->showingSitesPicker());
  ASSERT_TRUE(processUntil([&] { return workspace.sweeps.size() >= 2; }));
  EXPECT_EQ(workspace.sweeps, (std::vector<bool>{true, true})) << "activate's own sweep, then the picker's";
  EXPECT_EQ(game->terminateCalls, 1);
}

TEST_F(HomeTest, ClosingThePickerSweepsOnlyWhileBlocking) {
  show();
  home->openAppPicker();
  ASSERT_NE(home->appPicker(), nullptr);
  home->appPicker()->accept();
  processFor(30ms);
  EXPECT_FALSE(home->showingPicker());
  EXPECT_TRUE(workspace.sweeps.empty()) << "the sweep does nothing while blocking is off";
}

TEST_F(HomeTest, LockedRowsAreDisabledAndTheirActionsGuarded) {
  blocklist.toggle("org.example.Game");
  ASSERT_TRUE(webBlocklist.add("example.org"));
  ASSERT_TRUE(webBlocklist.add("example.net"));
  show();
  auto* apps = home->findChild<SelectionRow*>("appsRow");
  auto* sites = home->findChild<SelectionRow*>("sitesRow");
  EXPECT_EQ(apps->subtitle(), QStringLiteral("1 app selected"));
  EXPECT_EQ(sites->subtitle(), QStringLiteral("2 sites selected"));
  EXPECT_EQ(home->findChild<QLabel*>("blockedAppsSummary")->text(), QStringLiteral("Blocking 1 app"));
  blocklist.toggle("org.example.Editor");
  EXPECT_EQ(apps->subtitle(), QStringLiteral("2 apps selected"));
  EXPECT_EQ(home->findChild<QLabel*>("blockedAppsSummary")->text(), QStringLiteral("Blocking 2 apps"));

  openSession(now - 1min, "strict");
  nextRefresh();
  ASSERT_TRUE(home->isLocked());
  EXPECT_FALSE(apps->isEnabled());
  EXPECT_FALSE(sites->isEnabled());
  EXPECT_EQ(apps->subtitle(), QStringLiteral("Locked while your session is active"));
  EXPECT_EQ(sites->subtitle(), QStringLiteral("Locked while your session is active"));
  home->openAppPicker();
  home->openSitesPicker();
  EXPECT_FALSE(home->showingPicker());
  EXPECT_FALSE(home->showingSitesPicker());
  EXPECT_EQ(home->appPicker(), nullptr);
}

TEST_F(HomeTest, TheFilterCardFollowsTheManagersState) {
  show();
  auto* card = home->findChild<velmoria::SettingsCard*>("filterCard");
  auto* control = home->findChild<QStackedWidget*>("filterControl");
  auto* enable = home->findChild<QPushButton*>("enableFilterButton");
  const auto shows = [&](QWidget* widget) {
    return control->currentWidget()->isAncestorOf(widget) || control->currentWidget() == widget;
  };
  struct Expectation {
    State state;
    QString subtitle;
    const char* control;
  };
  for (const auto& [state, subtitle, name] : std::vector<Expectation>{
           {State::idle(), "Block distracting sites during focus sessions", "enableFilterButton"},
           {State::installing(), "Setting up the on-device filter…", "filterSpinner"},
           {State::needsApproval(), "Approve the filter: sudo scripts/install-filter", "enableFilterButton"},
           {State::ready(), "On during your focus sessions", "filterReady"},
           {State::running(), "Blocking sites now", "filterRunning"},
           {State::failed(""), "", "enableFilterButton"},
           {State::failed("Aktivierung fehlgeschlagen: nope"), "Aktivierung fehlgeschlagen: nope",
            "enableFilterButton"},
       }) {
    proxy.setState(state);
    EXPECT_EQ(card->subtitle(), subtitle);
    EXPECT_TRUE(shows(home->findChild<QWidget*>(name))) << name;
  }
  const auto before = extensions.requests().size();
  proxy.setState(State::needsApproval());
  enable->click();
  EXPECT_EQ(proxy.state(), State::installing());
  EXPECT_EQ(extensions.requests().size(), before + 1);
}

TEST_F(HomeTest, TheStartAtLoginSwitchShowsWhatTheRegistrationReports) {
  loginService.current = velmoria::platform::LoginItemStatus::enabled;
  show();
  auto* toggle = home->findChild<velmoria::ToggleSwitch*>("loginSwitch");
  EXPECT_TRUE(toggle->isOn()) << "read again when shown";
  toggle->click();
  EXPECT_EQ(loginService.unregisterCalls, 1);
  EXPECT_FALSE(toggle->isOn());
  loginService.statusAfterRegister = velmoria::platform::LoginItemStatus::requiresApproval;
  toggle->click();
  EXPECT_EQ(loginService.registerCalls, 1);
  EXPECT_FALSE(toggle->isOn()) << "awaiting approval is not on";
  EXPECT_FALSE(loginItem.isEnabled());
}

TEST_F(HomeTest, SignOutStopsFollowingThenUnblocksResetsAndSignsOut) {
  show();
  openSession(now - 1min, "strict");
  nextRefresh();
  ASSERT_TRUE(blocker.isActive());
  QObject::connect(&blocker, &velmoria::MacBlocker::isActiveChanged, &context, [this](bool) {
    calls.push_back(session.activeSession() ? "deactivate before reset" : "deactivate after reset");
  });
  service.setDelay("logout", 400ms);
  const auto queries = sessionQueries();
  home->signOut();
  EXPECT_FALSE(blocker.isActive());
  EXPECT_FALSE(session.activeSession());
  EXPECT_EQ(session.status(), QStringLiteral("\u2014"));
  EXPECT_EQ(calls.back(), "deactivate before reset");
  // While the backend is still signing out, no refresh starts that could follow the session again.
  const int refreshes = finished;
  scheduler.advance(15s);
  processFor(100ms);
  EXPECT_EQ(finished, refreshes);
  EXPECT_EQ(sessionQueries(), queries);
  EXPECT_EQ(session.status(), QStringLiteral("\u2014"));
  ASSERT_TRUE(processUntil([&] { return !appState.isLoggedIn(); }));
  EXPECT_FALSE(blocker.isActive());
  EXPECT_FALSE(proxy.sessionActive());
  EXPECT_FALSE(client->auth()->currentSession());
}

TEST(HomeTexts, CountsClocksAndFilterLines) {
  using namespace velmoria::HomeTexts;
  EXPECT_EQ(formatElapsed(0), "00:00");
  EXPECT_EQ(formatElapsed(59), "00:59");
  EXPECT_EQ(formatElapsed(3599), "59:59");
  EXPECT_EQ(formatElapsed(3600), "1:00:00");
  EXPECT_EQ(formatElapsed(36000), "10:00:00");
  EXPECT_EQ(blockedAppsSummary(0), "No apps blocked");
  EXPECT_EQ(blockedAppsSummary(1), "Blocking 1 app");
  EXPECT_EQ(blockedAppsSummary(2), "Blocking 2 apps");
  EXPECT_EQ(appsRowSubtitle(false, 0), "Tap to choose apps to block");
  EXPECT_EQ(appsRowSubtitle(false, 1), "1 app selected");
  EXPECT_EQ(appsRowSubtitle(true, 2), "Locked while your session is active");
  EXPECT_EQ(sitesRowSubtitle(false, 0), "Tap to choose websites to block");
  EXPECT_EQ(sitesRowSubtitle(false, 1), "1 site selected");
  EXPECT_EQ(sitesRowSubtitle(false, 2), "2 sites selected");
  EXPECT_EQ(sitesRowSubtitle(true, 0), "Locked while your session is active");
  EXPECT_EQ(quotes().size(), 13);
  EXPECT_EQ(quotes().front(), "Put the phone down.");
  EXPECT_EQ(quotes().back(), "Be where your hands are.");
}

}  // namespace
