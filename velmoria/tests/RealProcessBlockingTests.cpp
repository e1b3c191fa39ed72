// Blocking against real processes: /proc identification, launch polling and pidfd kills.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "BlockingTestSupport.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "testsupport/ExecedChild.hpp"
#include "velmoria/MacBlocker.hpp"

using namespace std::chrono_literals;

namespace {

pid_t spawnLaunched(const std::filesystem::path& entry) {
  return testsupport::spawnExeced("/bin/sleep", {"30"}, {"GIO_LAUNCHED_DESKTOP_FILE=" + entry.string()},
                                  "GIO_LAUNCHED_DESKTOP_FILE_PID");
}

bool killedBySigkill(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    std::this_thread::sleep_for(10ms);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return false;
}

TEST(RealProcessBlocking, ARunningAndALaunchedBlockedAppAreKilledAndTheShieldNamesTheLaunchedOne) {
  velmoria::testing::app();
  testsupport::ScratchFolder tmp;
  const auto apps = tmp.path() / "applications";
  std::filesystem::create_directories(apps);
  std::ofstream(apps / "org.example.Distraction.desktop")
      << "[Desktop Entry]\nType=Application\nName=Distraction\nExec=/nonexistent\n";
  std::ofstream(apps / "org.example.Fine.desktop")
      << "[Desktop Entry]\nType=Application\nName=Fine\nExec=/nonexistent2\n";

  platform::ManualScheduler scheduler;
  auto scanner = std::make_shared<platform::ProcessScanner>(
      std::make_shared<platform::DesktopEntryIndex>(std::vector<std::filesystem::path>{apps}));
  platform::ProcessWorkspace workspace(scheduler, scanner, nullptr, 250ms);
  platform::MemoryDefaultsSystem defaults;
  velmoria::MacBlocklistStore store(defaults);
  store.toggle("org.example.Distraction");
  platform::desktop::FakeShieldWindowSystem shields;
  platform::UnavailableScriptRunner scripts;
  velmoria::MacBlocker blocker(store, std::string("velmoria"),
                               {workspace, shields, scheduler, defaults, scripts, [&] { return tmp.path(); }});

  const pid_t running = spawnLaunched(apps / "org.example.Distraction.desktop");
  const pid_t fine = spawnLaunched(apps / "org.example.Fine.desktop");
  blocker.activate();
  EXPECT_TRUE(killedBySigkill(running));
  EXPECT_EQ(shields.createdCount, 0) << "the sweep shows no shield";

  const pid_t launched = spawnLaunched(apps / "org.example.Distraction.desktop");
  scheduler.advance(250ms);
  EXPECT_TRUE(killedBySigkill(launched));
  EXPECT_TRUE(blocker.overlay().isPresented());
  EXPECT_EQ(blocker.overlayModel().appName(), "Distraction");

  EXPECT_EQ(::waitpid(fine, nullptr, WNOHANG), 0) << "an app that is not blocked keeps running";
  blocker.deactivate();
  const pid_t after = spawnLaunched(apps / "org.example.Distraction.desktop");
  scheduler.advance(1000ms);
  EXPECT_EQ(::waitpid(after, nullptr, WNOHANG), 0) << "after deactivate nothing is killed";
  for (const pid_t p : {fine, after}) {
    ::kill(p, SIGKILL);
    ::waitpid(p, nullptr, 0);
  }
  shields.finishFades();
}

}  // namespace
