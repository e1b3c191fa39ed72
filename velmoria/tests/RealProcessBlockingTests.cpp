// Blocking against real processes: /proc identification, launch polling and pidfd kills.
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "testsupport/ExecedChild.hpp"
#include "velmoria/MacBlocker.hpp"

using namespace std::chrono_literals;

namespace {

pid_t spawnLaunched(const std::filesystem::path& entry) {
  return velmoria::testsupport::spawnExeced("/bin/sleep", {"30"}, {"GIO_LAUNCHED_DESKTOP_FILE=" + entry.string()},
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
  velmoria::testsupport::ScratchFolder tmp;
  const auto apps = tmp.path() / "applications";
  std::filesystem::create_directories(apps);
  std::ofstream(apps / "org.example.Distraction.desktop")
      << "[Desktop Entry]\nType=Application\nName=Distraction\nExec=/nonexistent\n";
  std::ofstream(apps / "org.example.Fine.desktop")
      << "[Desktop Entry]\nType=Application\nName=Fine\nExec=/nonexistent2\n";

  velmoria::platform::ManualScheduler scheduler;
  auto scanner = std::make_shared<velmoria::platform::ProcessScanner>(
      std::make_shared<velmoria::platform::DesktopEntryIndex>(std::vector<std::filesystem::path>{apps}));
  velmoria::platform::ProcessWorkspace workspace(scheduler, scanner, nullptr, 250ms);
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::MacBlocklistStore store(defaults);
  store.toggle("org.example.Distraction");
  velmoria::platform::desktop::FakeShieldWindowSystem shields;
  velmoria::platform::UnavailableScriptRunner scripts;
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

// What a shell does for "(wait; exec app) & echo $!": it forks, prints the fork's pid and ends; the fork,
// still a shell, execs the app only when the test writes a line into its pipe. Through a launcher, the fork
// execs another shell at once ("bash -c 'wait; exec app' &"), which execs the app when released. The test
// process adopts the orphaned fork, as init would, so it can reap it.
class ShellLaunch {
 public:
  enum class Shape { fork, launcher };
  ShellLaunch(const std::filesystem::path& folder, const std::filesystem::path& program, Shape shape)
      : fifo_(folder / "go") {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    ::mkfifo(fifo_.c_str(), 0600);
    const std::string wait = "read line < '" + fifo_.string() + "'; exec '" + program.string() + "' 30";
    const std::string command = (shape == Shape::fork ? "(" + wait + ")" : "/bin/bash -c \"" + wait + "\"") +
                                " </dev/null >/dev/null 2>&1 & echo $!";
    FILE* shell = ::popen(command.c_str(), "r");  // through /bin/sh -c
    if (shell != nullptr) {
      if (std::fscanf(shell, "%d", &pid_) != 1) pid_ = -1;
      ::pclose(shell);
    }
  }
  ~ShellLaunch() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  }
  pid_t pid() const { return pid_; }
  // Lets the fork exec, and waits until it runs the app with its arguments.
  void release(const std::filesystem::path& program) {
    std::ofstream(fifo_) << "go\n";
    const std::string dir = "/proc/" + std::to_string(pid_);
    for (int i = 0; i < 10000; ++i) {
      std::error_code ec;
      std::ifstream cmdline(dir + "/cmdline");
      if (std::filesystem::read_symlink(dir + "/exe", ec) == program && cmdline.get() != EOF) return;
      std::this_thread::sleep_for(1ms);
    }
  }
  // Whether it ended by SIGKILL; reaps it.
  bool killed() {
    const bool ok = killedBySigkill(pid_);
    pid_ = -1;
    return ok;
  }

 private:
  std::filesystem::path fifo_;
  pid_t pid_ = -1;
};

// Runs on the test clock: however loaded the machine, the app must die within four polls of its exec.
class LateExec : public ::testing::TestWithParam<ShellLaunch::Shape> {};

TEST_P(LateExec, ABlockedAppThatExecsSecondsAfterItsShellForkedIsKilledWithinASecondOfItsExec) {
  velmoria::testing::app();
  velmoria::testsupport::ScratchFolder tmp;
  const auto apps = tmp.path() / "applications";
  std::filesystem::create_directories(apps);
  const auto program = tmp.path() / "distraction";
  std::filesystem::copy_file("/bin/sleep", program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  std::ofstream(apps / "org.example.Distraction.desktop")
      << "[Desktop Entry]\nType=Application\nName=Distraction\nExec=" << program.string() << " %U\n";

  velmoria::platform::ManualScheduler scheduler;
  auto scanner = std::make_shared<velmoria::platform::ProcessScanner>(
      std::make_shared<velmoria::platform::DesktopEntryIndex>(std::vector<std::filesystem::path>{apps}));
  velmoria::platform::ProcessWorkspace workspace(scheduler, scanner, nullptr, 250ms);
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::MacBlocklistStore store(defaults);
  store.toggle("org.example.Distraction");
  velmoria::platform::desktop::FakeShieldWindowSystem shields;
  velmoria::platform::UnavailableScriptRunner scripts;
  velmoria::MacBlocker blocker(store, std::string("velmoria"),
                               {workspace, shields, scheduler, defaults, scripts, [&] { return tmp.path(); }});
  blocker.activate();

  ShellLaunch launch(tmp.path(), std::filesystem::canonical(program), GetParam());
  ASSERT_GT(launch.pid(), 0);
  for (int poll = 0; poll < 60; ++poll) scheduler.advance(250ms);  // 15 s: long past its youth
  EXPECT_EQ(::waitpid(launch.pid(), nullptr, WNOHANG), 0) << "the shell is no app";
  launch.release(std::filesystem::canonical(program));
  for (int poll = 0; poll < 4; ++poll) scheduler.advance(250ms);
  EXPECT_TRUE(launch.killed()) << "the app still ran a second after its exec";
  EXPECT_TRUE(blocker.overlay().isPresented());
  blocker.deactivate();
  shields.finishFades();
}

INSTANTIATE_TEST_SUITE_P(RealProcessBlocking, LateExec,
                         ::testing::Values(ShellLaunch::Shape::fork, ShellLaunch::Shape::launcher),
                         [](const auto& info) {
                           return std::string(info.param == ShellLaunch::Shape::fork ? "Fork" : "ThroughALauncher");
                         });

}  // namespace
