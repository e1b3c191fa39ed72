#include "platform/ProcessScanner.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "testsupport/ExecedChild.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A folder with an "applications" folder and a copy of sleep(1) that an entry names as its Exec.
class InstalledDummy {
 public:
  InstalledDummy() : root_(folder_.path()) {
    fs::create_directories(root_ / "applications/sub");
    program_ = root_ / "dummy-prog";
    fs::copy_file("/bin/sleep", program_);
    fs::permissions(program_, fs::perms::owner_all);
    std::ofstream(root_ / "applications/org.example.Dummy.desktop")
        << "[Desktop Entry]\nType=Application\nName=Dummy\nName[de]=Attrappe\nExec=" << program_.string() << " %U\n";
    std::ofstream(root_ / "applications/sub/tool.desktop")
        << "[Desktop Entry]\nType=Application\nName=Tool\nExec=/nonexistent\n";
  }
  std::shared_ptr<platform::DesktopEntryIndex> index() const {
    return std::make_shared<platform::DesktopEntryIndex>(std::vector<fs::path>{root_ / "applications"});
  }
  const fs::path& root() const { return root_; }
  const fs::path& program() const { return program_; }

 private:
  testsupport::ScratchFolder folder_{"ws-test"};
  fs::path root_;
  fs::path program_;
};

// A child running `program 30`, optionally with the launcher's environment naming an entry.
pid_t spawn(const fs::path& program, const std::string& launchedEntry = {}) {
  if (launchedEntry.empty()) return testsupport::spawnExeced(program.string(), {"30"}, {});
  return testsupport::spawnExeced(program.string(), {"30"}, {"GIO_LAUNCHED_DESKTOP_FILE=" + launchedEntry},
                                  "GIO_LAUNCHED_DESKTOP_FILE_PID");
}

// A child that waits, still a copy of this test, until release() lets it exec `program 30`.
class HeldChild {
 public:
  explicit HeldChild(const fs::path& program) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[1]);
      char go = 0;
      if (::read(fds[0], &go, 1) != 1) ::_exit(1);
      const std::string p = program.string();
      char* argv[] = {const_cast<char*>(p.c_str()), const_cast<char*>("30"), nullptr};
      char* env[] = {nullptr};
      ::execve(p.c_str(), argv, env);
      ::_exit(127);
    }
    ::close(fds[0]);
    release_ = fds[1];
  }
  ~HeldChild() {
    if (release_ >= 0) ::close(release_);
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }
  // Lets the child exec and waits until /proc shows the new program.
  void release(const fs::path& program) {
    static_cast<void>(::write(release_, "x", 1));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    std::error_code ec;
    while (fs::read_symlink("/proc/" + std::to_string(pid_) + "/exe", ec) != program &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
};

int reap(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

std::shared_ptr<platform::ProcessApplication> find(
    const std::vector<std::shared_ptr<platform::ProcessApplication>>& apps, pid_t pid) {
  for (const auto& a : apps) {
    if (a->processIdentifier() == pid) return a;
  }
  return nullptr;
}

TEST(ProcStat, ParsesParentAndStartTimeAfterAnOddCommandName) {
  pid_t parent = 0;
  unsigned long long start = 0;
  const std::string text = "4242 (a) b (c)) S 17 4242 4242 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 987654 1000 10\n";
  ASSERT_TRUE(platform::parseProcStat(text, parent, start));
  EXPECT_EQ(parent, 17);
  EXPECT_EQ(start, 987654u);
  EXPECT_FALSE(platform::parseProcStat("12 (x) S 1 2", parent, start));
}

TEST(ProcessScanner, IdentifiesALaunchedEntryAndKillsItThroughItsPidfd) {
  InstalledDummy dummy;
  platform::ProcessScanner scanner(dummy.index());
  const pid_t child = spawn("/bin/sleep", (dummy.root() / "applications/sub/tool.desktop").string());
  auto app = find(scanner.scan(), child);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->bundleIdentifier(), "sub-tool");
  EXPECT_EQ(app->localizedName(), "Tool");
  EXPECT_TRUE(app->forceTerminate());
  const int status = reap(child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_EQ(find(scanner.scan(), child), nullptr);
  EXPECT_FALSE(app->forceTerminate());  // gone and reaped: nothing else is hit
}

TEST(ProcessScanner, AProcessSeenBeforeItsExecIsIdentifiedOnceItExecs) {
  InstalledDummy dummy;
  platform::ProcessScanner scanner(dummy.index());
  HeldChild child(dummy.program());
  EXPECT_EQ(find(scanner.scan(), child.pid()), nullptr);
  child.release(dummy.program());
  const auto app = find(scanner.scan(), child.pid());
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Dummy");
}

TEST(ProcessScanner, AnOldProcessThatExecsLateIsIdentifiedWithinSixteenScans) {
  InstalledDummy dummy;
  platform::ProcessScanner scanner(dummy.index());
  HeldChild child(dummy.program());
  for (int i = 0; i < 50; ++i) EXPECT_EQ(find(scanner.scan(), child.pid()), nullptr);
  child.release(dummy.program());
  int scans = 0;
  std::shared_ptr<platform::ProcessApplication> app;
  while (!app && scans < 16) {
    app = find(scanner.scan(), child.pid());
    ++scans;
  }
  ASSERT_NE(app, nullptr) << "not identified within 16 scans of its exec";
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Dummy");
}

TEST(ProcessScanner, IdentifiesAnAppByItsExecutable) {
  InstalledDummy dummy;
  const testsupport::ScopedEnvironment german("LANG", "de_DE.UTF-8");
  platform::ProcessScanner scanner(dummy.index());
  const pid_t child = spawn(dummy.program());
  const pid_t other = spawn("/bin/sleep");
  const auto apps = scanner.scan();
  auto app = find(apps, child);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Dummy");
  EXPECT_EQ(app->localizedName(), "Attrappe");
  EXPECT_EQ(find(apps, other), nullptr);
  EXPECT_EQ(scanner.applicationOwning(child), app);
  ::kill(child, SIGKILL);
  ::kill(other, SIGKILL);
  reap(child);
  reap(other);
}

TEST(ProcessScanner, WithoutPidfdAStaleStartTimeKillsNothing) {
  const pid_t child = spawn("/bin/sleep");
  platform::ProcessApplication stale(child, /*startTime=*/1, /*pidfd=*/-1, "x", std::nullopt, "/proc");
  EXPECT_FALSE(stale.forceTerminate());
  EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), 0) << "the process must still run";
  ::kill(child, SIGKILL);
  reap(child);
}

class FixedActiveWindow final : public platform::ActiveWindowSource {
 public:
  explicit FixedActiveWindow(std::optional<pid_t>& pid) : pid_(pid) {}
  std::optional<pid_t> activeWindowProcess() override { return pid_; }

 private:
  std::optional<pid_t>& pid_;
};

TEST(ProcessWorkspace, ReportsLaunchesAfterObservingStartsAndActivationsOfTheActiveWindow) {
  InstalledDummy dummy;
  platform::ManualScheduler scheduler;
  std::optional<pid_t> active;
  auto scanner = std::make_shared<platform::ProcessScanner>(dummy.index());
  platform::ProcessWorkspace workspace(scheduler, scanner, std::make_unique<FixedActiveWindow>(active), 250ms);

  const pid_t before = spawn(dummy.program());
  std::vector<pid_t> launched, activated;
  const auto launchToken =
      workspace.addObserver(platform::WorkspaceNotification::didLaunchApplication, [&](const auto& app) {
        // Tests running beside this one start apps too.
        if (app->bundleIdentifier() == "org.example.Dummy") {
          launched.push_back(app->processIdentifier());
        }
      });
  workspace.addObserver(platform::WorkspaceNotification::didActivateApplication,
                        [&](const auto& app) { activated.push_back(app->processIdentifier()); });
  EXPECT_EQ(scheduler.activeTimerCount(), 1);

  const pid_t after = spawn(dummy.program());
  scheduler.advance(250ms);
  EXPECT_EQ(launched, std::vector<pid_t>{after});

  active = before;
  scheduler.advance(250ms);
  scheduler.advance(250ms);
  EXPECT_EQ(activated, std::vector<pid_t>{before});
  ASSERT_NE(workspace.frontmostApplication(), nullptr);
  EXPECT_EQ(workspace.frontmostApplication()->processIdentifier(), before);

  workspace.removeObserver(launchToken);
  EXPECT_EQ(scheduler.activeTimerCount(), 1);
  for (const pid_t p : {before, after}) {
    ::kill(p, SIGKILL);
    reap(p);
  }
}

}  // namespace
