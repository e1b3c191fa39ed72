#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "platform/DesktopEntry.hpp"
#include "platform/ExecCommand.hpp"
#include "platform/desktop/Application.hpp"
#include "velmoria/AppDelegate.hpp"
#include "velmoria/LoginItemManager.hpp"
#include "velmoria/SessionGuard.hpp"

using velmoria::LoginItemManager;
using velmoria::platform::LoginItemStatus;

namespace {

TEST(LoginItemManager, FirstStartMarksTheKeyBeforeAFailingRegistrationAndNeverRetries) {
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::platform::FakeLoginItem item;
  item.failure = "The operation couldn't be completed.";
  std::ostringstream out;
  {
    LoginItemManager manager(item, defaults, out);
    EXPECT_EQ(item.registerCalls, 1);
    EXPECT_FALSE(manager.isEnabled());
    EXPECT_EQ(out.str(), "LoginItem toggle failed: The operation couldn't be completed.\n");
  }
  EXPECT_TRUE(defaults.standard()->boolValue("mac.loginItem.autoRegistered"));
  LoginItemManager second(item, defaults, out);
  EXPECT_EQ(item.registerCalls, 1);
}

TEST(LoginItemManager, SwitchCallsTheServiceOnlyWhenTheStatusDiffers) {
  velmoria::platform::MemoryDefaultsSystem defaults;
  defaults.standard()->setValue("mac.loginItem.autoRegistered", true);
  velmoria::platform::FakeLoginItem item;
  item.current = LoginItemStatus::enabled;
  std::ostringstream out;
  LoginItemManager manager(item, defaults, out);
  EXPECT_TRUE(manager.isEnabled());
  manager.setEnabled(true);
  EXPECT_EQ(item.registerCalls, 0);

  item.current = LoginItemStatus::requiresApproval;
  manager.setEnabled(false);
  EXPECT_EQ(item.unregisterCalls, 0);
  EXPECT_FALSE(manager.isEnabled());

  // A registration that leaves the item awaiting approval shows as off.
  item.statusAfterRegister = LoginItemStatus::requiresApproval;
  int changes = 0;
  QObject::connect(&manager, &LoginItemManager::isEnabledChanged, [&](bool) { ++changes; });
  manager.setEnabled(true);
  EXPECT_EQ(item.registerCalls, 1);
  EXPECT_FALSE(manager.isEnabled());
  EXPECT_EQ(changes, 0);
  item.statusAfterRegister = LoginItemStatus::enabled;
  manager.setEnabled(true);
  EXPECT_TRUE(manager.isEnabled());
  EXPECT_EQ(changes, 1);
}

TEST(LoginItemManager, RegistersARealAutostartEntryOnFirstStart) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem defaults(tmp.path() / "config");
  velmoria::platform::XdgAutostartLoginItem item(tmp.path() / "autostart",
                                                 std::filesystem::path("/opt/velmoria app/velmoria"));
  std::ostringstream out;
  LoginItemManager manager(item, defaults, out);
  EXPECT_TRUE(manager.isEnabled());
  EXPECT_EQ(item.status(), LoginItemStatus::enabled);
  std::ifstream in(item.entryFile());
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("Exec=\"/opt/velmoria app/velmoria\"\n"), std::string::npos) << text;

  // Switched off in the desktop's settings: it waits for approval.
  std::ofstream(item.entryFile(), std::ios::app) << "Hidden=true\n";
  EXPECT_EQ(item.status(), LoginItemStatus::requiresApproval);
  manager.setEnabled(false);
  EXPECT_TRUE(std::filesystem::exists(item.entryFile()));
  manager.setEnabled(true);  // switching on rewrites the entry
  EXPECT_TRUE(manager.isEnabled());
  manager.setEnabled(false);
  EXPECT_FALSE(std::filesystem::exists(item.entryFile()));
  EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
  EXPECT_TRUE(out.str().empty());
}

// The words the entry's Exec runs, as a launcher reads them.
std::vector<std::string> autostartCommand(const velmoria::platform::XdgAutostartLoginItem& item) {
  std::ifstream in(item.entryFile());
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const auto entry = velmoria::platform::parseDesktopEntry(text);
  if (!entry) return {};
  return velmoria::platform::execWords(entry->exec).value_or(std::vector<std::string>{});
}

TEST(LoginItemManager, AStartWithItsOwnConfigurationRegistersAnEntryThatStartsWithAKeptCopy) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem defaults(tmp.path() / "config");
  const auto named = tmp.path() / "run" / "velmoria-info.x1";
  const auto kept = tmp.path() / "config" / "velmoria" / "Info.json";
  const std::string info = R"({"ZIRUDEZE_URL": "https://project.example", "ZIRUDEZE_KEY": "key"})";
  std::filesystem::create_directories(named.parent_path());
  std::ofstream(named) << info;
  const std::filesystem::path executable("/opt/velmoria app/velmoria");
  velmoria::platform::XdgAutostartLoginItem item(tmp.path() / "autostart", executable, named, kept);
  std::ostringstream out;
  LoginItemManager manager(item, defaults, out);
  EXPECT_TRUE(manager.isEnabled()) << out.str();
  std::filesystem::remove_all(named.parent_path());  // the run's temporary file is gone by the next login

  EXPECT_EQ(autostartCommand(item),
            (std::vector<std::string>{"env", "VELMORIA_INFO=" + kept.string(), executable.string()}));
  std::ifstream in(kept);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), info);

  // Without a file of its own the entry starts the program alone, which reads the one beside it.
  velmoria::platform::XdgAutostartLoginItem plain(tmp.path() / "plain", executable);
  plain.registerItem();
  EXPECT_EQ(autostartCommand(plain), std::vector<std::string>{executable.string()});
}

TEST(LoginItemManager, AConfigurationThatCannotBeKeptRefusesTheRegistrationAndSaysWhy) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem defaults(tmp.path() / "config");
  const auto named = tmp.path() / "gone.json";
  velmoria::platform::XdgAutostartLoginItem item(tmp.path() / "autostart", std::filesystem::path("/opt/velmoria"),
                                                 named, tmp.path() / "kept" / "Info.json");
  std::ostringstream out;
  LoginItemManager manager(item, defaults, out);
  EXPECT_FALSE(manager.isEnabled());
  EXPECT_FALSE(std::filesystem::exists(item.entryFile())) << "no entry that would fail at the next login";
  EXPECT_NE(out.str().find("LoginItem toggle failed: Start at login needs the configuration VELMORIA_INFO names"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find(named.string() + ": no such file"), std::string::npos) << out.str();

  std::ofstream(named) << "not json";
  manager.setEnabled(true);
  EXPECT_FALSE(manager.isEnabled());
  EXPECT_NE(out.str().find(named.string() + ": is not valid JSON"), std::string::npos) << out.str();
}

TEST(AutostartEntry, QuotesTheExecutableForTheExecKey) {
  EXPECT_NE(velmoria::platform::autostartEntryText("/a/b$c\"d").find("Exec=\"/a/b\\\\$c\\\\\"d\"\n"),
            std::string::npos);
  EXPECT_NE(velmoria::platform::autostartEntryText("/a/100%").find("Exec=\"/a/100%%\"\n"), std::string::npos);
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::XdgAutostartLoginItem real(tmp.path());
  EXPECT_EQ(real.status(), LoginItemStatus::notRegistered);
}

class CountingWindows final : public velmoria::platform::WindowList {
 public:
  int count() const override { return 3; }
  void makeKeyAndOrderFront(int index) override { fronted.push_back(index); }
  std::vector<int> fronted;
};

TEST(QuitGuard, RefusesWithTheAlertWhileLockedAndQuitsAtOnceOtherwise) {
  velmoria::platform::FakeAlertPresenter alerts;
  CountingWindows windows;
  velmoria::AppDelegate delegate(alerts, windows);
  velmoria::SessionGuard::isLocked = true;
  EXPECT_EQ(delegate.applicationShouldTerminate(), velmoria::platform::TerminateReply::terminateCancel);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].messageText, "Focus session active");
  EXPECT_EQ(alerts.shown[0].informativeText,
            "Your apps stay blocked while a session is running. End the session from your iPhone to quit velmoria.");
  EXPECT_EQ(alerts.shown[0].style, velmoria::platform::AlertStyle::warning);
  EXPECT_EQ(alerts.shown[0].buttons, std::vector<std::string>{"OK"});

  velmoria::SessionGuard::isLocked = false;
  EXPECT_EQ(delegate.applicationShouldTerminate(), velmoria::platform::TerminateReply::terminateNow);
  EXPECT_EQ(alerts.shown.size(), 1u);
  EXPECT_FALSE(delegate.applicationShouldTerminateAfterLastWindowClosed());

  EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));
  EXPECT_TRUE(windows.fronted.empty());
  EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
  EXPECT_EQ(windows.fronted, (std::vector<int>{0, 1, 2}));
}

class RecordingDelegate final : public velmoria::platform::ApplicationDelegate {
 public:
  velmoria::platform::TerminateReply applicationShouldTerminate() override {
    ++asked;
    return reply;
  }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  bool applicationShouldHandleReopen(bool) override { return true; }
  velmoria::platform::TerminateReply reply = velmoria::platform::TerminateReply::terminateCancel;
  int asked = 0;
};

// Whether `request`, made inside the running main loop as the app's requests are, ends that loop. A quit
// asked outside a running loop would stay pending in Qt and end the next modal loop at once, another
// test's alert among them.
bool endsTheMainLoop(velmoria::platform::desktop::Application& application, const std::function<void()>& request) {
  QObject context;
  bool ended = false;
  QObject::connect(&application, &velmoria::platform::desktop::Application::terminating, &context,
                   [&] { ended = true; });
  QTimer::singleShot(0, &context, [&] {
    request();
    // Behind the request's own queued work.
    QTimer::singleShot(0, &context, [&] {
      if (!ended) QCoreApplication::exit(1);
    });
  });
  const int code = QCoreApplication::exec();
  return ended && code == 0;
}

TEST(TerminatePath, SignalsBecomeOneTerminateRequestOnTheMainThread) {
  velmoria::testing::app();
  RecordingDelegate delegate;
  {
    velmoria::platform::desktop::Application application(delegate);
    EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed());
    EXPECT_FALSE(endsTheMainLoop(application, [] {
      ::raise(SIGTERM);
      ::raise(SIGINT);
    }));
    EXPECT_EQ(delegate.asked, 1) << "both signals arrived before the loop ran: one request";

    delegate.reply = velmoria::platform::TerminateReply::terminateNow;
    EXPECT_TRUE(endsTheMainLoop(application, [] { ::raise(SIGHUP); }));
    EXPECT_EQ(delegate.asked, 2);
  }
  QGuiApplication::setQuitOnLastWindowClosed(true);
}

TEST(TerminatePath, TheQuitKeyAndTheWindowsCloseQuitAtOnceOrShowTheRefusalWhileBlocking) {
  velmoria::testing::app();
  velmoria::platform::FakeAlertPresenter alerts;
  CountingWindows windows;
  velmoria::AppDelegate delegate(alerts, windows);
  {
    velmoria::platform::desktop::Application application(delegate);
    QWidget window;
    auto* field = new QLineEdit(&window);  // as the sign-in page's, which has the focus
    application.watchWindow(window);
    window.show();
    window.activateWindow();
    field->setFocus();
    QCoreApplication::processEvents();
    const auto quitKey = [&] { QTest::keyClick(field, Qt::Key_Q, Qt::ControlModifier); };

    velmoria::SessionGuard::isLocked = true;
    EXPECT_FALSE(endsTheMainLoop(application, quitKey));
    ASSERT_EQ(alerts.shown.size(), 1u) << "Ctrl+Q while blocking shows the refusal";
    EXPECT_EQ(alerts.shown[0].messageText, "Focus session active");
    EXPECT_FALSE(endsTheMainLoop(application, [&] { EXPECT_FALSE(window.close()); }));
    EXPECT_EQ(alerts.shown.size(), 2u) << "so does closing the window";
    EXPECT_TRUE(window.isVisible()) << "a refused close leaves the window up";

    velmoria::SessionGuard::isLocked = false;
    EXPECT_TRUE(endsTheMainLoop(application, quitKey)) << "Ctrl+Q quits at once while not blocking";
    EXPECT_TRUE(endsTheMainLoop(application, [&] { window.close(); })) << "and so does closing the window";
    EXPECT_EQ(alerts.shown.size(), 2u);
  }
  QGuiApplication::setQuitOnLastWindowClosed(true);
}

}  // namespace
