#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/BlockingTrace.hpp"
#include "platform/ProcessScanner.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/ExecedChild.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"

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
  std::shared_ptr<velmoria::platform::DesktopEntryIndex> index() const {
    return std::make_shared<velmoria::platform::DesktopEntryIndex>(std::vector<fs::path>{root_ / "applications"});
  }
  const fs::path& root() const { return root_; }
  const fs::path& program() const { return program_; }

 private:
  velmoria::testsupport::ScratchFolder folder_{"ws-test"};
  fs::path root_;
  fs::path program_;
};

using velmoria::testsupport::waitForExec;

// A child running `program 30`, optionally with the launcher's environment naming an entry.
pid_t spawn(const fs::path& program, const std::string& launchedEntry = {}) {
  const pid_t pid =
      launchedEntry.empty()
          ? velmoria::testsupport::spawnExeced(program.string(), {"30"}, {})
          : velmoria::testsupport::spawnExeced(program.string(), {"30"}, {"GIO_LAUNCHED_DESKTOP_FILE=" + launchedEntry},
                                               "GIO_LAUNCHED_DESKTOP_FILE_PID");
  waitForExec(pid);
  return pid;
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
  // Lets the child exec and waits until it runs the new program.
  void release(const fs::path& program) {
    static_cast<void>(::write(release_, "x", 1));
    waitForExec(pid_, program);
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
};

// A shell starting an app in the background ("prog & echo $!"): the shell forks, the fork execs the program
// only when released, and the shell may end before that. The test process adopts the orphaned fork, as
// init would, so it can reap it.
class BackgroundLaunch {
 public:
  explicit BackgroundLaunch(const fs::path& program) {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    int release[2], endShell[2], report[2];
    if (::pipe(release) != 0 || ::pipe(endShell) != 0 || ::pipe(report) != 0) throw std::runtime_error("pipe");
    shell_ = ::fork();
    if (shell_ == 0) {
      ::close(release[1]);
      ::close(endShell[1]);
      ::close(report[0]);
      const pid_t launched = ::fork();
      if (launched == 0) {
        ::close(endShell[0]);
        ::close(report[1]);
        char go = 0;
        if (::read(release[0], &go, 1) != 1) ::_exit(1);
        const std::string p = program.string();
        char* argv[] = {const_cast<char*>(p.c_str()), const_cast<char*>("30"), nullptr};
        char* env[] = {nullptr};
        ::execve(p.c_str(), argv, env);
        ::_exit(127);
      }
      static_cast<void>(::write(report[1], &launched, sizeof launched));
      char end = 0;
      static_cast<void>(::read(endShell[0], &end, 1));
      ::_exit(0);
    }
    ::close(release[0]);
    ::close(endShell[0]);
    ::close(report[1]);
    if (::read(report[0], &pid_, sizeof pid_) != sizeof pid_) pid_ = -1;
    ::close(report[0]);
    release_ = release[1];
    endShell_ = endShell[1];
  }
  ~BackgroundLaunch() {
    ::close(release_);
    endShell();
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  }
  pid_t pid() const { return pid_; }
  void endShell() {
    if (endShell_ < 0) return;
    ::close(endShell_);
    endShell_ = -1;
    ::waitpid(shell_, nullptr, 0);
  }
  // Lets the fork exec and waits until it runs the new program.
  void release(const fs::path& program) {
    static_cast<void>(::write(release_, "x", 1));
    waitForExec(pid_, program);
  }

 private:
  pid_t shell_ = -1;
  pid_t pid_ = -1;
  int release_ = -1;
  int endShell_ = -1;
};

int reap(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

std::shared_ptr<velmoria::platform::ProcessApplication> find(
    const std::vector<std::shared_ptr<velmoria::platform::ProcessApplication>>& apps, pid_t pid) {
  for (const auto& a : apps) {
    if (a->processIdentifier() == pid) return a;
  }
  return nullptr;
}

TEST(ProcStat, ParsesParentFlagsAndStartTimeAfterAnOddCommandName) {
  const std::string text = "4242 (a) b (c)) S 17 4242 4242 0 -1 4194368 1 0 0 0 0 0 0 0 20 0 1 0 987654 1000 10\n";
  const auto stat = velmoria::platform::parseProcStat(text);
  ASSERT_TRUE(stat);
  EXPECT_EQ(stat->parent, 17);
  EXPECT_EQ(stat->startTime, 987654u);
  EXPECT_TRUE(stat->forkedWithoutExec()) << "4194368 has the fork-without-exec bit";
  EXPECT_FALSE(velmoria::platform::parseProcStat(text.substr(0, 40)));
  EXPECT_FALSE(velmoria::platform::parseProcStat("12 (x) S 1 2 3 4 5 nine 0 0 0 0 0 0 0 0 0 0 0 0 1 1"));
}

TEST(ProcessScanner, IdentifiesALaunchedEntryAndKillsItThroughItsPidfd) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
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

TEST(ProcessScanner, ItsTraceTellsWhatItIdentifiedAndKilledAndWhichForkItWatches) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  scanner.scan();
  const velmoria::platform::blockingtrace::Capture trace;
  HeldChild held(dummy.program());
  const pid_t child = spawn(dummy.program());
  const auto app = find(scanner.scan(), child);
  ASSERT_NE(app, nullptr);
  EXPECT_TRUE(app->forceTerminate());
  reap(child);
  const std::string& text = trace.text();
  EXPECT_NE(text.find("pid " + std::to_string(child) + " (parent " + std::to_string(::getpid()) +
                      ") is org.example.Dummy by exec"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("kill of org.example.Dummy, pid " + std::to_string(child) + ": sent"), std::string::npos);
  EXPECT_NE(text.find("pid " + std::to_string(held.pid()) + " is a fork of " + std::to_string(::getpid())),
            std::string::npos);
}

TEST(ProcessScanner, AProcessSeenBeforeItsExecIsIdentifiedOnceItExecs) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  HeldChild child(dummy.program());
  EXPECT_EQ(find(scanner.scan(), child.pid()), nullptr);
  child.release(dummy.program());
  const auto app = find(scanner.scan(), child.pid());
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Dummy");
}

TEST(ProcessScanner, AForkWhoseShellEndedBeforeItExecsIsIdentifiedOnceItExecs) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  BackgroundLaunch launch(dummy.program());
  EXPECT_EQ(find(scanner.scan(), launch.pid()), nullptr) << "seen between fork and exec";
  launch.endShell();
  EXPECT_EQ(find(scanner.scan(), launch.pid()), nullptr);
  launch.release(dummy.program());
  const auto app = find(scanner.scan(), launch.pid());
  ASSERT_NE(app, nullptr) << "the exec after its shell ended went unnoticed";
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Dummy");
}

// A /proc of our own making holds a process still at a moment a real one passes through in microseconds.
TEST(ProcessScanner, AProcessCaughtInsideItsExecIsIdentifiedOnceItsArgumentsShow) {
  InstalledDummy dummy;
  velmoria::testsupport::ScratchFolder proc("fake-proc");
  fs::create_directories(proc.path() / "4194001");
  proc.write("4194001/stat",
             "4194001 (dummy-prog) R 1 4194001 4194001 0 -1 4194304 0 0 0 0 0 0 0 0 20 0 1 0 4242 1000 10\n");
  fs::create_symlink(fs::canonical(dummy.program()), proc.path() / "4194001/exe");
  for (const char* name : {"cmdline", "environ", "cgroup"}) proc.write(std::string("4194001/") + name, "");
  velmoria::platform::ProcessScanner scanner(dummy.index(), proc.path());
  EXPECT_TRUE(scanner.scan().empty()) << "the new program shows, its arguments not yet";
  proc.write("4194001/cmdline", dummy.program().string() + std::string("\0--x\0", 5));
  const auto apps = scanner.scan();
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(apps[0]->bundleIdentifier(), "org.example.Dummy");
}

// A /proc of our own making with apps of the dummy entry, and the pid the kernel handed out last.
class FakeProc {
 public:
  explicit FakeProc(const fs::path& program) : program_(fs::canonical(program)) {}
  const fs::path& root() const { return folder_.path(); }
  void addApp(int pid) {
    const std::string dir = std::to_string(pid);
    fs::create_directories(root() / dir);
    folder_.write(dir + "/stat", dir + " (dummy-prog) S 1 " + dir + " " + dir +
                                     " 0 -1 4194304 0 0 0 0 0 0 0 0 20 0 1 0 " + dir + " 1000 10\n");
    fs::create_symlink(program_, root() / dir / "exe");
    folder_.write(dir + "/cmdline", program_.string() + std::string("\0--x\0", 5));
    for (const char* name : {"environ", "cgroup"}) folder_.write(dir + "/" + name, "");
  }
  void setLastPid(int pid) { folder_.write("loadavg", "0.10 0.20 0.30 1/99 " + std::to_string(pid) + "\n"); }

 private:
  velmoria::testsupport::ScratchFolder folder_{"fake-proc"};
  fs::path program_;
};

TEST(ProcessScanner, ReadsTheListingWhenAProcessHasStartedAndNowAndThenOtherwise) {
  InstalledDummy dummy;
  FakeProc proc(dummy.program());
  proc.addApp(4194001);
  proc.setLastPid(4194001);
  velmoria::platform::ProcessScanner scanner(dummy.index(), proc.root());
  EXPECT_EQ(scanner.scan().size(), 1u);
  proc.addApp(4194002);  // not as the kernel would: the last pid stays
  EXPECT_EQ(scanner.scan().size(), 1u) << "nothing started, so the listing was not read";
  proc.setLastPid(4194002);
  EXPECT_EQ(scanner.scan().size(), 2u) << "a process started: it is found at once";
  proc.addApp(4194003);
  std::size_t scans = 0;
  while (scanner.scan().size() < 3 && scans < 8) ++scans;
  EXPECT_LT(scans, 8u) << "the listing is read at least every eighth scan";
}

TEST(ProcessScanner, APidHandedToANewThreadIsNoNewProcess) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  scanner.scan();
  std::atomic<pid_t> tid{0};
  std::atomic<bool> done{false};
  std::thread thread([&] {
    tid = static_cast<pid_t>(::syscall(SYS_gettid));
    while (!done) std::this_thread::sleep_for(1ms);
  });
  while (tid == 0) std::this_thread::sleep_for(1ms);
  const pid_t child = spawn(dummy.program());
  EXPECT_NE(find(scanner.scan(), child), nullptr);
  EXPECT_FALSE(scanner.knows(tid)) << "a thread taken for a process";
  EXPECT_TRUE(scanner.knows(::getpid()));
  done = true;
  thread.join();
  ::kill(child, SIGKILL);
  reap(child);
}

TEST(ProcessScanner, AnOldForkThatExecsLateIsIdentifiedWithinFourScans) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  HeldChild child(dummy.program());
  for (int i = 0; i < 50; ++i) EXPECT_EQ(find(scanner.scan(), child.pid()), nullptr);
  child.release(dummy.program());
  int scans = 0;
  std::shared_ptr<velmoria::platform::ProcessApplication> app;
  while (!app && scans < 4) {
    app = find(scanner.scan(), child.pid());
    ++scans;
  }
  ASSERT_NE(app, nullptr) << "not identified within 4 scans of its exec";
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Dummy");
}

TEST(ProcessScanner, AForkThatExecsPastALaunchersFirstScansIsIdentifiedAtTheScanAfter) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  scanner.scan();
  HeldChild child(dummy.program());
  ASSERT_EQ(find(scanner.scan(), child.pid()), nullptr);  // the second scan sees the fork first
  // Its exec comes a dozen scans later, before a scan that a look at every fourth scan would skip.
  int next = 12;
  while ((next + child.pid()) % 4 == 0) ++next;
  for (int scan = 3; scan < next; ++scan) scanner.scan();
  child.release(dummy.program());
  const auto app = find(scanner.scan(), child.pid());
  ASSERT_NE(app, nullptr) << "a fork's exec a dozen scans after it started was not seen at the next scan";
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Dummy");
}

TEST(ProcessScanner, AnAppLaunchedWithItsEntryKeepsItThroughExecsThatClearItsEnvironment) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  const auto go = dummy.root() / "go";
  ::mkfifo(go.c_str(), 0600);
  const pid_t child = velmoria::testsupport::spawnExeced(
      "/bin/sh", {"-c", "read x < '" + go.string() + "'; exec /usr/bin/env -i /bin/sleep 30"},
      {"GIO_LAUNCHED_DESKTOP_FILE=" + (dummy.root() / "applications/sub/tool.desktop").string()},
      "GIO_LAUNCHED_DESKTOP_FILE_PID");
  ASSERT_NE(find(scanner.scan(), child), nullptr);
  std::ofstream(go) << "go\n";
  waitForExec(child, fs::canonical("/bin/sleep"));
  std::shared_ptr<velmoria::platform::ProcessApplication> app;
  for (int scan = 0; scan < 8; ++scan) app = find(scanner.scan(), child);
  ASSERT_NE(app, nullptr) << "the launch's own entry was lost with the environment";
  EXPECT_EQ(app->bundleIdentifier(), "sub-tool");
  ::kill(child, SIGKILL);
  reap(child);
}

// The pid of a child of `parent` running `program`, once there is one.
pid_t childRunning(pid_t parent, const fs::path& program) {
  for (int i = 0; i < 5000; ++i) {
    std::ifstream children("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    for (pid_t c = 0; children >> c;) {
      std::error_code ec;
      if (fs::read_symlink("/proc/" + std::to_string(c) + "/exe", ec) == program) return c;
    }
    std::this_thread::sleep_for(1ms);
  }
  return -1;
}

bool ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const auto parsed = velmoria::platform::parseProcStat(std::string(std::istreambuf_iterator<char>(stat), {}));
  return !parsed || parsed->state == 'Z';
}

TEST(ProcessScanner, AForkThatExecsTheProgramItAlreadyRunsIsIdentifiedAtTheScanAfter) {
  InstalledDummy dummy;
  const auto shell = dummy.root() / "dummy-sh";
  fs::copy_file("/bin/sh", shell);
  fs::permissions(shell, fs::perms::owner_all);
  std::ofstream(dummy.root() / "applications/org.example.Work.desktop")
      << "[Desktop Entry]\nType=Application\nName=Work\nExec=" << shell.string() << " -c \"sleep 30; :\" work\n";
  velmoria::platform::ProcessScanner scanner(dummy.index());
  const auto go = dummy.root() / "go";
  ::mkfifo(go.c_str(), 0600);
  // The subshell is a fork of the launcher; its exec keeps the program, so only the kernel's fork flag
  // tells that it happened.
  const pid_t launcher = velmoria::testsupport::spawnExeced(
      shell.string(),
      {"-c", "(read x < '" + go.string() + "'; exec '" + shell.string() + "' -c 'sleep 30; :' work) & wait"}, {});
  const pid_t fork = childRunning(launcher, shell);
  ASSERT_GT(fork, 0);
  for (int scan = 0; scan < 3; ++scan) ASSERT_EQ(find(scanner.scan(), fork), nullptr);
  std::ofstream(go) << "go\n";
  ASSERT_TRUE(velmoria::testsupport::eventually([&] {
    std::ifstream cmdline("/proc/" + std::to_string(fork) + "/cmdline");
    const std::string exec = {"sleep 30; :\0work", 16};
    return std::string(std::istreambuf_iterator<char>(cmdline), {}).find(exec) != std::string::npos;
  }));
  const auto app = find(scanner.scan(), fork);
  ::kill(launcher, SIGKILL);
  reap(launcher);
  EXPECT_NE(app, nullptr) << "the fork's exec of its own program went unnoticed";
  if (app) {
    EXPECT_EQ(app->bundleIdentifier(), "org.example.Work");
  }
  ::kill(fork, SIGKILL);
}

TEST(ProcessTreeKill, KillsTheProcessAndEveryDescendantAndNothingBeside) {
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  const auto sleep = fs::canonical("/bin/sleep");
  const pid_t shell = velmoria::testsupport::spawnExeced("/bin/sh", {"-c", "/bin/sh -c 'sleep 30 & wait' & wait"}, {});
  const pid_t beside = spawn("/bin/sleep");
  const pid_t middle = childRunning(shell, fs::canonical("/bin/sh"));
  const pid_t leaf = middle > 0 ? childRunning(middle, sleep) : -1;
  ASSERT_GT(leaf, 0);
  velmoria::platform::ProcessApplication app(shell, 0, static_cast<int>(::syscall(SYS_pidfd_open, shell, 0u)), "x",
                                             std::nullopt, "/proc");
  EXPECT_TRUE(app.forceTerminate());
  reap(shell);
  EXPECT_TRUE(velmoria::testsupport::eventually([&] { return ended(middle) && ended(leaf); }))
      << "a descendant outlived the kill";
  EXPECT_FALSE(ended(beside)) << "a process outside the tree was killed";
  ::kill(beside, SIGKILL);
  reap(beside);
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

TEST(ProcessTreeKill, WhatSurvivesAKillIsKilledAgainWithItsNewDescendantsAndNamedInTheTrace) {
  const pid_t shell = velmoria::testsupport::spawnExeced("/bin/sh", {"-c", "sleep 30 & wait"}, {});
  const pid_t leaf = childRunning(shell, fs::canonical("/bin/sleep"));
  ASSERT_GT(leaf, 0);
  velmoria::platform::KillLedger ledger;
  std::vector<velmoria::platform::HeldProcess> held;
  held.push_back({shell, velmoria::base::FileDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, shell, 0u)))});
  ledger.add("org.example.Stubborn", std::move(held));  // as if its kill had not taken
  const velmoria::platform::blockingtrace::Capture trace;
  EXPECT_EQ(ledger.recheck("/proc").size(), 2u);
  EXPECT_TRUE(velmoria::testsupport::eventually([&] { return ended(shell) && ended(leaf); }))
      << "the survivor or its child was not killed again";
  ::kill(shell, SIGKILL);
  ::kill(leaf, SIGKILL);
  reap(shell);
  EXPECT_NE(trace.text().find("kill of org.example.Stubborn survived by pid " + std::to_string(shell)),
            std::string::npos)
      << trace.text();
  EXPECT_TRUE(ledger.recheck("/proc").empty());
  EXPECT_TRUE(ledger.empty());
}

TEST(ProcessScanner, IdentifiesAnAppByItsExecutable) {
  InstalledDummy dummy;
  const velmoria::testsupport::ScopedEnvironment german("LANG", "de_DE.UTF-8");
  velmoria::platform::ProcessScanner scanner(dummy.index());
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

// Apps installed with a shared program in their Exec: an interpreter, a program named bare or by another
// path, and one started through env; each spawned the way a launcher runs it.
class SharedProgramApps {
 public:
  SharedProgramApps() : path_("PATH", (root() / "bin").string() + ":/usr/bin:/bin") {
    fs::create_directories(root() / "applications");
    fs::create_directories(root() / "My Game");
    fs::create_directories(root() / "bin");
    fs::create_directories(root() / "lib");
    folder_.write("My Game/main.py", "import time\ntime.sleep(30)\n");
    folder_.write("notes.py", "import time\ntime.sleep(30)\n");
    for (const char* name : {"browser", "tool", "game-env"}) {
      fs::copy_file("/bin/sleep", root() / "lib" / name);
      fs::permissions(root() / "lib" / name, fs::perms::owner_all);
    }
    fs::create_symlink("../lib/browser", root() / "bin/browser");
    fs::create_symlink("../lib/tool", root() / "bin/tool-link");
    entry("org.example.Game", "python3 \"" + (root() / "My Game/main.py").string() + "\" --level %f");
    entry("org.example.Browser", "browser %u");
    entry("org.example.Tool", (root() / "bin/tool-link").string() + " %F");
    entry("org.example.EnvGame", "env GAME_MODE=1 " + (root() / "lib/game-env").string() + " 30");
    script("bin/start-quest", "#!/bin/sh\nsleep 30\n");
    script("bin/notes.sh", "#!/bin/sh\nsleep 30\n");
    script("bin/puzzle", "#!/usr/bin/env python3\nimport time\ntime.sleep(30)\n");
    entry("org.example.Quest", "start-quest --hard %u");
    entry("org.example.Puzzle", (root() / "bin/puzzle").string());
  }
  const fs::path& root() const { return folder_.path(); }
  std::shared_ptr<velmoria::platform::DesktopEntryIndex> index() const {
    return std::make_shared<velmoria::platform::DesktopEntryIndex>(std::vector<fs::path>{root() / "applications"});
  }
  ~SharedProgramApps() {
    for (const pid_t p : spawned_) {
      ::kill(p, SIGKILL);
      reap(p);
    }
  }
  pid_t run(const std::string& program, const std::vector<std::string>& arguments) {
    spawned_.push_back(velmoria::testsupport::spawnExeced(program, arguments, {}));
    waitForExec(spawned_.back());
    return spawned_.back();
  }

 private:
  void script(const std::string& name, const std::string& text) const {
    folder_.write(name, text);
    fs::permissions(root() / name, fs::perms::owner_all);
  }
  void entry(const std::string& id, const std::string& exec) const {
    folder_.write("applications/" + id + ".desktop",
                  "[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" + exec + "\n");
  }
  velmoria::testsupport::ScratchFolder folder_{"shared-program"};
  velmoria::testsupport::ScopedEnvironment path_;
  std::vector<pid_t> spawned_;
};

std::optional<std::string> idOf(const std::vector<std::shared_ptr<velmoria::platform::ProcessApplication>>& apps,
                                pid_t pid) {
  const auto app = find(apps, pid);
  return app ? app->bundleIdentifier() : std::nullopt;
}

// The scan once `pid` is among its apps, or after a second of scans.
std::vector<std::shared_ptr<velmoria::platform::ProcessApplication>> scanUntilFound(
    velmoria::platform::ProcessScanner& scanner, pid_t pid) {
  auto apps = scanner.scan();
  for (int i = 0; i < 200 && !find(apps, pid); ++i) {
    std::this_thread::sleep_for(5ms);
    apps = scanner.scan();
  }
  return apps;
}

TEST(ProcessScanner, AnInterpretedAppIsTheProcessRunningItsScriptAndNoOtherOfTheInterpreter) {
  SharedProgramApps installed;
  velmoria::platform::ProcessScanner scanner(installed.index());
  const auto script = (installed.root() / "My Game/main.py").string();
  const pid_t game = installed.run("/usr/bin/python3", {script, "--level", "save.dat"});
  const pid_t noLevel = installed.run("/usr/bin/python3", {script});
  const pid_t notes = installed.run("/usr/bin/python3", {(installed.root() / "notes.py").string()});
  const auto apps = scanner.scan();
  EXPECT_EQ(idOf(apps, game), "org.example.Game");
  EXPECT_EQ(idOf(apps, noLevel), std::nullopt) << "the entry's fixed words include --level";
  EXPECT_EQ(idOf(apps, notes), std::nullopt) << "another script of the same interpreter";
}

TEST(ProcessScanner, AScriptAppIsItsInterpreterRunningThatScriptOnly) {
  SharedProgramApps installed;
  velmoria::platform::ProcessScanner scanner(installed.index());
  // Each started as a launcher starts it: the script itself is executed and the system runs its #! line.
  const pid_t quest = installed.run((installed.root() / "bin/start-quest").string(), {"--hard", "x"});
  const pid_t easyQuest = installed.run((installed.root() / "bin/start-quest").string(), {"--easy"});
  const pid_t notes = installed.run((installed.root() / "bin/notes.sh").string(), {});
  const pid_t puzzle = installed.run((installed.root() / "bin/puzzle").string(), {});
  const pid_t shell = installed.run("/bin/sh", {"-c", "sleep 30"});
  // The puzzle's #! line runs env, which goes on to exec python3: the first scans may see env itself.
  const auto apps = scanUntilFound(scanner, puzzle);
  EXPECT_EQ(idOf(apps, quest), "org.example.Quest");
  EXPECT_EQ(idOf(apps, puzzle), "org.example.Puzzle");
  EXPECT_EQ(idOf(apps, easyQuest), std::nullopt) << "the entry's fixed words include --hard";
  EXPECT_EQ(idOf(apps, notes), std::nullopt) << "another script of the same interpreter";
  EXPECT_EQ(idOf(apps, shell), std::nullopt);
}

TEST(ProcessScanner, AnEntryNamesItsProgramBareOrThroughALinkOrEnv) {
  SharedProgramApps installed;
  velmoria::platform::ProcessScanner scanner(installed.index());
  // The program by its real path with arguments of its own, for an entry naming it bare through PATH.
  const pid_t browser = installed.run((installed.root() / "lib/browser").string(), {"30"});
  // The program by its real path, for an entry naming it through a link.
  const pid_t tool = installed.run((installed.root() / "lib/tool").string(), {"30"});
  // Started as the entry says, through env; the scan may still see env itself.
  const pid_t envGame =
      installed.run("/usr/bin/env", {"GAME_MODE=1", (installed.root() / "lib/game-env").string(), "30"});
  const pid_t otherArguments = installed.run((installed.root() / "lib/game-env").string(), {"31"});
  const auto apps = scanUntilFound(scanner, envGame);
  EXPECT_EQ(idOf(apps, browser), "org.example.Browser");
  EXPECT_EQ(idOf(apps, tool), "org.example.Tool");
  EXPECT_EQ(idOf(apps, envGame), "org.example.EnvGame");
  EXPECT_EQ(idOf(apps, otherArguments), std::nullopt);
}

TEST(ProcessScanner, AChildCarryingOutItsParentAppsExecIsPartOfThatAppNotAnotherOne) {
  SharedProgramApps installed;
  const auto shell = installed.root() / "lib/app-shell";
  fs::copy_file("/bin/dash", shell);
  fs::permissions(shell, fs::perms::owner_all);
  // The app starts a second process of itself, with the same command line, as a browser starts its tabs.
  const auto script = installed.root() / "app.sh";
  std::ofstream(script) << "[ -n \"$CHILD\" ] || CHILD=1 '" << shell.string() << "' \"$0\" &\nsleep 30\n";
  std::ofstream(installed.root() / "applications/org.example.Shell.desktop")
      << "[Desktop Entry]\nType=Application\nName=Shell\nExec=" << shell.string() << " " << script.string() << "\n";
  velmoria::platform::ProcessScanner scanner(installed.index());
  const pid_t app = installed.run(shell.string(), {script.string()});
  pid_t child = 0;
  for (int i = 0; i < 2000 && child == 0; ++i) {
    std::this_thread::sleep_for(1ms);
    std::ifstream children("/proc/" + std::to_string(app) + "/task/" + std::to_string(app) + "/children");
    for (pid_t c = 0; children >> c;) {
      std::error_code ec;
      if (fs::read_symlink("/proc/" + std::to_string(c) + "/exe", ec) == fs::canonical(shell)) child = c;
    }
  }
  ASSERT_NE(child, 0);
  waitForExec(child);
  const auto apps = scanner.scan();
  EXPECT_EQ(idOf(apps, app), "org.example.Shell");
  EXPECT_EQ(idOf(apps, child), std::nullopt) << "the app's own child counted as another launch";
  EXPECT_EQ(scanner.applicationOwning(child), find(apps, app));
  ::kill(child, SIGKILL);
}

TEST(ProcessScanner, AnAppRunningBeforeItsEntryWasInstalledIsKnownWithinFourScans) {
  InstalledDummy dummy;
  velmoria::platform::ProcessScanner scanner(dummy.index());
  const fs::path program = dummy.root() / "later-prog";
  fs::copy_file("/bin/sleep", program);
  fs::permissions(program, fs::perms::owner_all);
  const pid_t child = spawn(program);
  EXPECT_EQ(find(scanner.scan(), child), nullptr);
  std::this_thread::sleep_for(10ms);  // a folder time of its own for the change
  std::ofstream(dummy.root() / "applications/org.example.Later.desktop")
      << "[Desktop Entry]\nType=Application\nName=Later\nExec=" << program.string() << "\n";
  std::shared_ptr<velmoria::platform::ProcessApplication> app;
  for (int scans = 0; scans < 4 && !app; ++scans) app = find(scanner.scan(), child);
  ASSERT_NE(app, nullptr) << "the new entry did not account for the running process within four scans";
  EXPECT_EQ(app->bundleIdentifier(), "org.example.Later");
  ::kill(child, SIGKILL);
  reap(child);
}

TEST(ProcessScanner, WithoutPidfdAStaleStartTimeKillsNothing) {
  const pid_t child = spawn("/bin/sleep");
  velmoria::platform::ProcessApplication stale(child, /*startTime=*/1, /*pidfd=*/-1, "x", std::nullopt, "/proc");
  EXPECT_FALSE(stale.forceTerminate());
  EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), 0) << "the process must still run";
  ::kill(child, SIGKILL);
  reap(child);
}

class FixedActiveWindow final : public velmoria::platform::ActiveWindowSource {
 public:
  explicit FixedActiveWindow(std::optional<pid_t>& pid) : pid_(pid) {}
  std::optional<pid_t> activeWindowProcess() override { return pid_; }

 private:
  std::optional<pid_t>& pid_;
};

TEST(ProcessWorkspace, ReportsLaunchesAfterObservingStartsAndActivationsOfTheActiveWindow) {
  InstalledDummy dummy;
  velmoria::platform::ManualScheduler scheduler;
  std::optional<pid_t> active;
  auto scanner = std::make_shared<velmoria::platform::ProcessScanner>(dummy.index());
  velmoria::platform::ProcessWorkspace workspace(scheduler, scanner, std::make_unique<FixedActiveWindow>(active),
                                                 250ms);

  const pid_t before = spawn(dummy.program());
  std::vector<pid_t> launched, activated;
  const auto launchToken =
      workspace.addObserver(velmoria::platform::WorkspaceNotification::didLaunchApplication, [&](const auto& app) {
        // Tests running beside this one start apps too.
        if (app->bundleIdentifier() == "org.example.Dummy") {
          launched.push_back(app->processIdentifier());
        }
      });
  workspace.addObserver(velmoria::platform::WorkspaceNotification::didActivateApplication,
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
