// Blocked apps whose program is no entry's, found through their windows on an X server of the test's own:
// already open they die at the sweep, shown during the session they die behind a shield, and the windows
// of apps nobody blocked are left alone.
#include <unistd.h>

#include <csignal>
#include <fstream>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "platform/desktop/X11ActiveWindow.hpp"
#include "testsupport/ChildProcess.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/PrivateDisplay.hpp"
#include "velmoria/MacBlocker.hpp"

using namespace std::chrono_literals;

namespace {

// The dummy app with a window of the given class naming its process, and a child of its own.
class WindowedDummy {
 public:
  WindowedDummy(const std::string& instance, const std::string& className)
      : process_({VELMORIA_DUMMY_APP, "--class", instance, className, "--pid", "--child", "--ready"}) {
    const auto line = process_.readLine(10s);
    ready_ = line && line->rfind("ready ", 0) == 0;
    if (ready_) child_ = std::stoi(line->substr(6));
  }
  ~WindowedDummy() {
    if (child_ > 0) ::kill(child_, SIGKILL);  // no child of the test's: nothing to reap
  }
  bool ready() const { return ready_; }
  // Whether its child ended too (a zombie counts: the child is no longer the test's to reap).
  bool childEnded() const {
    return velmoria::testsupport::eventually(
        [&] {
          std::ifstream stat("/proc/" + std::to_string(child_) + "/stat");
          const std::string text((std::istreambuf_iterator<char>(stat)), {});
          const auto close = text.rfind(')');
          return close == std::string::npos || text.compare(close, 3, ") Z") == 0;
        },
        1s);
  }
  bool killed(std::chrono::milliseconds within = 1s) { return process_.wait(within) == 128 + SIGKILL; }
  bool running() { return !process_.wait(0ms); }

 private:
  velmoria::testsupport::ChildProcess process_;
  bool ready_ = false;
  pid_t child_ = 0;
};

TEST(WindowBlocking, AppsFoundByTheirWindowsDieAtTheSweepAndWhenTheyShowAndOthersAreLeftAlone) {
  velmoria::testing::app();
  velmoria::testsupport::PrivateDisplay display;
  if (!display.available()) GTEST_SKIP() << "no Xvfb";
  velmoria::testsupport::ScratchFolder tmp;
  const auto apps = tmp.path() / "applications";
  std::filesystem::create_directories(apps);
  const auto entry = [&](const std::string& id, const std::string& more) {
    std::ofstream(apps / (id + ".desktop"))
        << "[Desktop Entry]\nType=Application\nName=" << id.substr(12) << "\nExec=/nonexistent/" << id << " %U\n"
        << more;
  };
  entry("org.example.Viewer", "");
  entry("org.example.Painter", "StartupWMClass=PainterWindow\n");
  entry("org.example.Notes", "");

  velmoria::platform::ManualScheduler scheduler;
  auto scanner = std::make_shared<velmoria::platform::ProcessScanner>(
      std::make_shared<velmoria::platform::DesktopEntryIndex>(std::vector<std::filesystem::path>{apps}));
  velmoria::platform::ProcessWorkspace workspace(
      scheduler, scanner, std::make_unique<velmoria::platform::desktop::X11ActiveWindow>(), 250ms);
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::MacBlocklistStore store(defaults);
  store.toggle("org.example.Viewer");
  store.toggle("org.example.Painter");
  velmoria::platform::desktop::FakeShieldWindowSystem shields;
  velmoria::platform::UnavailableScriptRunner scripts;
  velmoria::MacBlocker blocker(store, std::string("velmoria"),
                               {workspace, shields, scheduler, defaults, scripts, [&] { return tmp.path(); }});

  WindowedDummy viewer("viewer", "org.example.Viewer");
  WindowedDummy painter("painter", "PainterWindow");
  WindowedDummy notes("notes", "org.example.Notes");
  ASSERT_TRUE(viewer.ready() && painter.ready() && notes.ready());
  blocker.activate();
  EXPECT_TRUE(viewer.killed()) << "open before the session: the sweep kills it";
  EXPECT_TRUE(painter.killed());
  EXPECT_TRUE(viewer.childEnded() && painter.childEnded()) << "an app is its process tree";
  EXPECT_EQ(shields.createdCount, 0) << "the sweep shows no shield";

  WindowedDummy shown("painter", "PainterWindow");
  ASSERT_TRUE(shown.ready());
  for (int poll = 0; poll < 4; ++poll) scheduler.advance(250ms);
  EXPECT_TRUE(shown.killed()) << "no kill within four polls of its window showing";
  EXPECT_TRUE(blocker.overlay().isPresented());
  EXPECT_EQ(blocker.overlayModel().appName(), "Painter");
  EXPECT_TRUE(notes.running()) << "an app nobody blocked";
  blocker.deactivate();
  shields.finishFades();
}

}  // namespace
