// Quit requests while a session blocks: however many arrive, one alert at a time.
#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QTimer>
#include <csignal>
#include <functional>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "platform/desktop/Application.hpp"
#include "velmoria/AppDelegate.hpp"
#include "velmoria/SessionGuard.hpp"

namespace {

class NoWindows final : public velmoria::platform::WindowList {
 public:
  int count() const override { return 0; }
  void makeKeyAndOrderFront(int) override {}
};

// Runs `whileShown` while the alert is up, as the alert's event loop would deliver more requests.
class ReenteringAlerts final : public velmoria::platform::AlertPresenter {
 public:
  int runModal(const velmoria::platform::Alert&) override {
    ++shown;
    ++open;
    maxOpen = std::max(maxOpen, open);
    if (whileShown && open == 1) whileShown();
    --open;
    return 0;
  }
  std::function<void()> whileShown;
  int shown = 0;
  int open = 0;
  int maxOpen = 0;
};

class Locked : public ::testing::Test {
 protected:
  void SetUp() override { velmoria::SessionGuard::isLocked = true; }
  void TearDown() override { velmoria::SessionGuard::isLocked = false; }
};

TEST_F(Locked, RequestsWhileTheAlertIsUpAreRefusedUnderIt) {
  ReenteringAlerts alerts;
  NoWindows windows;
  velmoria::AppDelegate delegate(alerts, windows);
  std::vector<velmoria::platform::TerminateReply> nested;
  alerts.whileShown = [&] {
    for (int i = 0; i < 3; ++i) nested.push_back(delegate.applicationShouldTerminate());
  };
  EXPECT_EQ(delegate.applicationShouldTerminate(), velmoria::platform::TerminateReply::terminateCancel);
  EXPECT_EQ(alerts.shown, 1);
  EXPECT_EQ(alerts.maxOpen, 1);
  EXPECT_EQ(nested,
            std::vector<velmoria::platform::TerminateReply>(3, velmoria::platform::TerminateReply::terminateCancel));

  alerts.whileShown = nullptr;
  delegate.applicationShouldTerminate();
  EXPECT_EQ(alerts.shown, 2) << "once the alert is closed, the next request shows it again";
}

TEST_F(Locked, RepeatedSignalsShowOneAlertOnScreen) {
  velmoria::testing::app();
  velmoria::platform::desktop::QtAlertPresenter alerts;
  NoWindows windows;
  velmoria::AppDelegate delegate(alerts, windows);
  velmoria::platform::desktop::Application application(delegate);
  int mostBoxes = 0;
  int looks = 0;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    int boxes = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<QMessageBox*>(widget) && widget->isVisible()) ++boxes;
    }
    mostBoxes = std::max(mostBoxes, boxes);
    ++looks;
    if (looks < 6) {
      ::raise(SIGTERM);  // one more while the alert is up
    } else if (looks > 10) {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) box->done(0);
      }
    }
  });
  look.start(10);
  ::raise(SIGTERM);
  for (int i = 0; i < 400 && looks <= 12; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  look.stop();
  QCoreApplication::processEvents();
  EXPECT_GE(looks, 6);
  EXPECT_EQ(mostBoxes, 1);
}

// A window that will not close, as a window busy with its own modal work refuses.
class Unclosable final : public QWidget {
 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

TEST_F(Locked, ARequestAfterTheSessionEndedQuitsUnderTheAlertStillUp) {
  velmoria::testing::app();
  Unclosable busy;
  busy.show();
  velmoria::platform::desktop::QtAlertPresenter alerts;
  NoWindows windows;
  velmoria::AppDelegate delegate(alerts, windows);
  velmoria::platform::desktop::Application application(delegate);
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<QMessageBox*>(widget) && widget->isVisible() && velmoria::SessionGuard::isLocked) {
        // Nobody answered the alert; the session ends and the system asks again.
        velmoria::SessionGuard::isLocked = false;
        ::raise(SIGTERM);
      }
    }
  });
  look.start(10);
  // Should the request be refused, this ends the wait (and the test fails on the code).
  QTimer::singleShot(5000, [] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) box->done(0);
    }
    QCoreApplication::exit(1);
  });
  QTimer::singleShot(0, [] { ::raise(SIGTERM); });
  EXPECT_EQ(QCoreApplication::exec(), 0) << "the second request quits although the first one's alert is up";
  look.stop();
  EXPECT_FALSE(velmoria::SessionGuard::isLocked) << "the alert was shown";
}

}  // namespace
