// The window's frame: start-up, sign-in and sign-out, and the program's configuration checks.
#include <sys/stat.h>

#include <QApplication>
#include <QLineEdit>
#include <QWindow>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "HomeTestSupport.hpp"
#include "ScreenTestSupport.hpp"
#include "platform/DesktopEntry.hpp"
#include "platform/ExecCommand.hpp"
#include "platform/InfoDictionary.hpp"
#include "testsupport/ChildProcess.hpp"
#include "testsupport/ScratchFolder.hpp"
#include "velmoria/ContentView.hpp"
#include "velmoria/LoginViewModel.hpp"
#include "velmoria/MacHomeView.hpp"
#include "velmoria/MacLoginView.hpp"
#include "velmoria/ScreenPalette.hpp"
#include "velmoria/SessionViewModel.hpp"

using namespace std::chrono_literals;
using Page = velmoria::ContentView::Page;
using velmoria::testing::processUntil;

namespace {

class ShellTest : public ::testing::Test, protected velmoria::testing::AppFixture {
 protected:
  // The window on a client of `url`; pages are recorded as they change.
  std::unique_ptr<velmoria::ContentView> window(std::shared_ptr<zirudeze::ZirudezeClient> over) {
    auto made = std::make_unique<velmoria::ContentView>(environment(), std::move(over));
    pages.push_back(made->page());
    QObject::connect(made.get(), &velmoria::ContentView::pageChanged, [this](Page page) { pages.push_back(page); });
    return made;
  }

  std::vector<Page> pages;
};

TEST_F(ShellTest, AStoredSessionShowsProgressThenHomeAndNeverSignIn) {
  signIn(*client);
  const auto relaunched = makeClient();
  velmoria::MacAppState relaunchedState(relaunched);
  velmoria::ContentView view(
      velmoria::AppEnvironment{relaunchedState, blocklist, blocker, loginItem, proxy, webBlocklist, scheduler},
      relaunched);
  std::vector<Page> seen{view.page()};
  QObject::connect(&view, &velmoria::ContentView::pageChanged, [&](Page page) { seen.push_back(page); });
  view.show();
  ASSERT_TRUE(processUntil([&] { return !relaunchedState.isBootstrapping(); }));
  EXPECT_EQ(seen, (std::vector<Page>{Page::progress, Page::home}));
  ASSERT_NE(view.homeView(), nullptr);
  EXPECT_TRUE(view.homeView()->isOnScreen());
  EXPECT_GE(view.minimumWidth(), 480);
  EXPECT_GE(view.minimumHeight(), 640);
  view.resize(300, 300);
  EXPECT_GE(view.width(), 480);
  EXPECT_GE(view.height(), 640);
  // Another program shrinks the native window, as one can where no window manager keeps the hints.
  view.windowHandle()->resize(300, 300);
  ASSERT_TRUE(processUntil([&] { return view.windowHandle()->width() >= 480; }));
  EXPECT_GE(view.windowHandle()->height(), 640);
  EXPECT_GE(view.width(), 480);
}

TEST_F(ShellTest, NoSessionOrAnExpiredOneOfflineShowsSignIn) {
  {
    auto view = window(client);
    view->show();
    ASSERT_TRUE(processUntil([&] { return !appState.isBootstrapping(); }));
    EXPECT_EQ(pages, (std::vector<Page>{Page::progress, Page::signIn}));
    EXPECT_FALSE(appState.isLoggedIn());
    EXPECT_EQ(view->homeView(), nullptr);
  }

  // Signed in with a session that has run out, and the backend is unreachable.
  service.setSessionLifetime(1);
  signIn(*client);
  std::string offline;
  {
    velmoria::testsupport::FakeBackend gone;
    offline = gone.baseURL();
  }
  const auto stranded = makeClient(offline);
  ASSERT_TRUE(stranded->auth()->currentSession());
  velmoria::MacAppState strandedState(stranded);
  velmoria::ContentView view(
      velmoria::AppEnvironment{strandedState, blocklist, blocker, loginItem, proxy, webBlocklist, scheduler}, stranded);
  std::vector<Page> seen{view.page()};
  QObject::connect(&view, &velmoria::ContentView::pageChanged, [&](Page page) { seen.push_back(page); });
  view.show();
  ASSERT_TRUE(processUntil([&] { return !strandedState.isBootstrapping(); }));
  EXPECT_EQ(seen, (std::vector<Page>{Page::progress, Page::signIn}));
}

TEST_F(ShellTest, SignInThenSignOutOfflineLandsOnSignIn) {
  auto view = window(client);
  view->show();
  ASSERT_TRUE(processUntil([&] { return view->page() == Page::signIn; }));
  auto* screen = view->loginView();
  screen->emailField()->setText("ada@example.com");
  view->login().setEmail("ada@example.com");
  screen->submitEmail();
  ASSERT_TRUE(processUntil([&] { return view->login().otpSent(); }));
  view->login().setOtpCode(QString::fromStdString(*service.lastCode("ada@example.com")));
  screen->submitCode();
  ASSERT_TRUE(processUntil([&] { return view->page() == Page::home; }));
  EXPECT_TRUE(appState.isLoggedIn());

  service.failNext("logout", velmoria::testsupport::ScriptedResponse::dropped(), 5);
  view->homeView()->signOut();
  ASSERT_TRUE(processUntil([&] { return view->page() == Page::signIn; }));
  EXPECT_FALSE(appState.isLoggedIn());
  EXPECT_EQ(pages, (std::vector<Page>{Page::progress, Page::signIn, Page::home, Page::signIn}));
  // The sign-in screen comes back on the step it was left in.
  EXPECT_TRUE(screen->isShowingCodeStep());
}

TEST_F(ShellTest, TheWindowLosingAndRegainingTheFocusRepaintsNothing) {
  // A desktop theme that greys the selection of inactive windows, as many do.
  const QPalette before = QApplication::palette();
  QPalette themed = before;
  themed.setColor(QPalette::Inactive, QPalette::Highlight, Qt::gray);
  themed.setColor(QPalette::Inactive, QPalette::Window, themed.color(QPalette::Active, QPalette::Window).darker(105));
  QApplication::setPalette(themed);
  struct Restore {
    QPalette palette;
    ~Restore() { QApplication::setPalette(palette); }
  } restore{before};
  const velmoria::ActiveLookEverywhere activeLook;
  signIn(*client);
  auto view = window(client);
  view->show();
  ASSERT_TRUE(processUntil([&] { return view->page() == Page::home; }));
  velmoria::testing::processFor(std::chrono::milliseconds(50));
  velmoria::testing::EventCount count(QEvent::Paint);
  view->installEventFilter(&count);
  view->homeView()->installEventFilter(&count);
  // As when a shield takes the focus, and gives it back.
  for (const auto type : {QEvent::WindowDeactivate, QEvent::WindowActivate}) {
    QEvent event(type);
    QCoreApplication::sendEvent(view.get(), &event);
    velmoria::testing::processFor(std::chrono::milliseconds(30));
  }
  EXPECT_EQ(count.count, 0) << "a whole window repainted for a focus change that shows nothing";
}

// The program, run as the user would, with an information file of the test's.
class ConfigurationTest : public ::testing::Test {
 protected:
  ConfigurationTest() {
    ::chmod(runtime.path().c_str(), 0700);
    std::filesystem::create_directories(folder.path() / "config");
    std::filesystem::create_directories(folder.path() / "data");
  }

  struct Outcome {
    std::optional<int> status;
    std::vector<std::string> lines;
  };

  // Runs velmoria with `info` as its information file (none: the file is missing) and no display at all,
  // so a window it tried to open would end it otherwise.
  Outcome run(const std::optional<std::string>& info) {
    const auto file = folder.path() / "Info.json";
    if (info) {
      std::ofstream(file) << *info;
    }
    velmoria::testsupport::ChildProcess program({"/bin/sh", "-c", "exec \"$0\" 2>&1", VELMORIA_EXECUTABLE},
                                                {{"VELMORIA_INFO", file.string()},
                                                 {"QT_QPA_PLATFORM", "none-at-all"},
                                                 {"XDG_CONFIG_HOME", (folder.path() / "config").string()},
                                                 {"XDG_DATA_HOME", (folder.path() / "data").string()},
                                                 {"XDG_RUNTIME_DIR", runtime.path().string()},
                                                 {"DBUS_SESSION_BUS_ADDRESS", ""}});
    Outcome outcome;
    while (auto line = program.readLine(10s)) outcome.lines.push_back(*line);
    outcome.status = program.wait(10s);
    std::filesystem::remove(file);
    return outcome;
  }

  velmoria::testsupport::ScratchFolder folder;
  velmoria::testsupport::ScratchFolder runtime{"velmoria-runtime"};
};

TEST_F(ConfigurationTest, EachFaultEndsWithOneLineAndExitCode78BeforeAnyWindow) {
  struct Case {
    std::optional<std::string> info;
    std::string expected;
  };
  const std::vector<Case> cases{
      {std::nullopt, "Info.json: no such file"},
      {"{", "Info.json: is not valid JSON"},
      {"[]", "Info.json: is not a JSON object"},
      {R"({"ZIRUDEZE_KEY":"k"})", "Info.json: ZIRUDEZE_URL is missing"},
      {R"({"ZIRUDEZE_URL":"http://127.0.0.1:9"})", "Info.json: ZIRUDEZE_KEY is missing"},
      {R"({"ZIRUDEZE_URL":42,"ZIRUDEZE_KEY":"k"})", "Info.json: ZIRUDEZE_URL is not a string"},
      {R"({"ZIRUDEZE_URL":"http://127.0.0.1:9","ZIRUDEZE_KEY":null})", "Info.json: ZIRUDEZE_KEY is not a string"},
      {R"({"ZIRUDEZE_URL":"http://exa mple.com","ZIRUDEZE_KEY":"k"})", "Info.json: ZIRUDEZE_URL is not a URL"},
      {R"({"ZIRUDEZE_URL":"file:///tmp/project","ZIRUDEZE_KEY":"k"})", "is refused"},
      {R"({"ZIRUDEZE_URL":"http://127.0.0.1:9","ZIRUDEZE_KEY":"k","VELMORIA_APP_ID":7})",
       "Info.json: VELMORIA_APP_ID is not a string"},
  };
  for (const auto& [info, expected] : cases) {
    const auto outcome = run(info);
    EXPECT_EQ(outcome.status, 78) << info.value_or("(no file)");
    ASSERT_EQ(outcome.lines.size(), 1u) << info.value_or("(no file)");
    EXPECT_EQ(outcome.lines[0].rfind("velmoria: ", 0), 0u) << outcome.lines[0];
    EXPECT_NE(outcome.lines[0].find(expected), std::string::npos) << outcome.lines[0];
  }
}

TEST_F(ConfigurationTest, AGoodFileStartsOneInstanceThatALaterLaunchFindsAndATermSignalEnds) {
  std::ofstream(folder.path() / "Info.json") << R"({"ZIRUDEZE_URL":"http://127.0.0.1:9","ZIRUDEZE_KEY":"k"})";
  const std::string script = R"(
    "$0" & first=$!
    i=0
    while [ ! -S "$XDG_RUNTIME_DIR/velmoria.socket" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done
    "$0"; echo "second $?"
    kill -TERM $first; wait $first; echo "first $?")";
  velmoria::testsupport::ChildProcess program({"/bin/sh", "-c", script, VELMORIA_EXECUTABLE},
                                              {{"VELMORIA_INFO", (folder.path() / "Info.json").string()},
                                               {"QT_QPA_PLATFORM", "offscreen"},
                                               {"XDG_CONFIG_HOME", (folder.path() / "config").string()},
                                               {"XDG_DATA_HOME", (folder.path() / "data").string()},
                                               {"XDG_RUNTIME_DIR", runtime.path().string()},
                                               {"DBUS_SESSION_BUS_ADDRESS", ""}});
  EXPECT_EQ(program.readLine(30s), "second 0") << "the second launch hands over and ends";
  EXPECT_EQ(program.readLine(30s), "first 0") << "not blocking, the first one quits";
  EXPECT_EQ(program.wait(10s), 0);
  // Its state stays in the profile it was given, and its start at login starts it the same way, with a
  // kept copy of the information file.
  const auto entry = velmoria::platform::readDesktopEntry(folder.path() / "config" / "autostart" / "velmoria.desktop");
  ASSERT_TRUE(entry);
  const auto kept = folder.path() / "config" / "velmoria" / "Info.json";
  EXPECT_EQ(velmoria::platform::execWords(entry->exec),
            (std::vector<std::string>{"env", "VELMORIA_INFO=" + kept.string(),
                                      std::filesystem::canonical(VELMORIA_EXECUTABLE).string()}));
  EXPECT_EQ(velmoria::platform::InfoDictionary::load(kept).string("ZIRUDEZE_URL"), "http://127.0.0.1:9");
}

TEST(InfoFile, TheBuildWritesOneBesideTheProgram) {
  const auto info =
      velmoria::platform::InfoDictionary::load(std::filesystem::path(VELMORIA_EXECUTABLE).parent_path() / "Info.json");
  EXPECT_TRUE(info.optionalString("VELMORIA_APP_ID"));
}

}  // namespace
