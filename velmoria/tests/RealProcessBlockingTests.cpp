// Blocking against real processes: /proc identification, launch polling and pidfd kills.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "testsupport/Eventually.hpp"
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

// A blocking engine over the real /proc with the entries of a scratch folder, its polls on the test clock.
// The test process adopts the orphans of the trees it starts, as init would, and reaps them.
class BlockingSession {
 public:
  BlockingSession() {
    velmoria::testing::app();
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::filesystem::create_directories(apps());
  }
  ~BlockingSession() {
    if (blocker_) blocker_->deactivate();
    shields.finishFades();
    for (const auto& tree : trees_) tree->killAll();
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  }
  std::filesystem::path apps() const { return tmp.path() / "applications"; }
  std::filesystem::path path(const std::string& name) const { return tmp.path() / name; }
  // A copy of the stand-in under this name.
  std::string program(const std::string& name) {
    const auto p = path(name);
    if (!std::filesystem::exists(p)) std::filesystem::copy_file(VELMORIA_STANDIN, p);
    return p.string();
  }
  std::string script(const std::string& name, const std::string& text) {
    std::ofstream(path(name)) << text;
    std::filesystem::permissions(path(name), std::filesystem::perms::owner_all);
    return path(name).string();
  }
  void entry(const std::string& id, const std::string& exec) {
    std::ofstream(apps() / (id + ".desktop"))
        << "[Desktop Entry]\nType=Application\nName=" << id << "\nExec=" << exec << "\n";
  }
  // Starts blocking `id` over the entries installed so far (or those of `folders`).
  void block(const std::string& id, std::vector<std::filesystem::path> folders = {}) {
    store.toggle(id);
    scanner_ = std::make_shared<velmoria::platform::ProcessScanner>(
        std::make_shared<velmoria::platform::DesktopEntryIndex>(folders.empty() ? std::vector{apps()} : folders));
    workspace_ = std::make_unique<velmoria::platform::ProcessWorkspace>(scheduler, scanner_, nullptr, 250ms);
    blocker_ =
        std::make_unique<velmoria::MacBlocker>(store, std::string("velmoria"),
                                               velmoria::MacBlocker::Services{*workspace_, shields, scheduler, defaults,
                                                                              scripts, [this] { return tmp.path(); }});
    blocker_->activate();
  }
  void poll() { scheduler.advance(250ms); }

  // Every process of a tree seen so far: its root and the descendants found at each look.
  class Tree {
   public:
    explicit Tree(pid_t root) { add(root); }
    void look() {
      std::map<pid_t, std::vector<pid_t>> children;
      for (const auto& item : std::filesystem::directory_iterator("/proc")) {
        const auto name = item.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto stat = velmoria::platform::parseProcStat(read(item.path() / "stat"));
        if (stat && stat->state != 'Z') children[stat->parent].push_back(std::stoi(name));
      }
      for (std::size_t i = 0; i < seen_.size(); ++i) {
        if (ended(seen_[i])) continue;
        for (const pid_t c : children[seen_[i].first]) add(c);
      }
    }
    // Whether every process seen, the root too unless it is to live, has ended (a zombie has).
    bool ended(bool butRoot = false) const {
      for (std::size_t i = butRoot ? 1 : 0; i < seen_.size(); ++i) {
        if (!ended(seen_[i])) return false;
      }
      return true;
    }
    bool rootRuns() const { return !ended(seen_.front()); }
    // Whether a process of the tree runs this program now, its exec done.
    bool runs(const std::string& program) const {
      for (const auto& p : seen_) {
        std::error_code ec;
        // Its arguments show a moment after the new program does.
        const auto dir = "/proc/" + std::to_string(p.first);
        if (!ended(p) && std::filesystem::read_symlink(dir + "/exe", ec) == program && !read(dir + "/cmdline").empty())
          return true;
      }
      return false;
    }
    std::size_t size() const { return seen_.size(); }
    std::size_t livingCount() const {
      return static_cast<std::size_t>(
          std::count_if(seen_.begin(), seen_.end(), [](const auto& p) { return !ended(p); }));
    }
    // The processes that live on, with the program each runs.
    std::string living() const {
      std::string out;
      for (const auto& p : seen_) {
        std::error_code ec;
        const auto dir = "/proc/" + std::to_string(p.first);
        if (!ended(p))
          out += " " + dir + " " + std::filesystem::read_symlink(dir + "/exe", ec).string() + " " +
                 read(dir + "/stat").substr(0, 40);
      }
      return out;
    }
    void killAll() const {
      for (const auto& p : seen_) {
        if (!ended(p)) ::kill(p.first, SIGKILL);
      }
    }

   private:
    // Empty once the process has gone, even half-way through the read.
    static std::string read(const std::filesystem::path& file) {
      std::string text(4096, '\0');
      const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
      const ssize_t n = fd < 0 ? -1 : ::read(fd, text.data(), text.size());
      if (fd >= 0) ::close(fd);
      text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
      return text;
    }
    static std::optional<unsigned long long> started(pid_t pid) {
      const auto stat = velmoria::platform::parseProcStat(read("/proc/" + std::to_string(pid) + "/stat"));
      if (!stat || stat->state == 'Z') return std::nullopt;
      return stat->startTime;
    }
    static bool ended(const std::pair<pid_t, unsigned long long>& p) { return started(p.first) != p.second; }
    void add(pid_t pid) {
      const auto start = started(pid);
      if (!start) return;
      for (const auto& p : seen_) {
        if (p.first == pid) return;
      }
      seen_.emplace_back(pid, *start);
    }
    std::vector<std::pair<pid_t, unsigned long long>> seen_;
  };

  Tree& start(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
              const std::string& pidVariable = {}) {
    const pid_t pid =
        velmoria::testsupport::spawnExeced(argv.front(), {argv.begin() + 1, argv.end()}, environment, pidVariable);
    trees_.push_back(std::make_unique<Tree>(pid));
    return *trees_.back();
  }

  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::ManualScheduler scheduler;
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::MacBlocklistStore store{defaults};
  velmoria::platform::desktop::FakeShieldWindowSystem shields;
  velmoria::platform::UnavailableScriptRunner scripts;

 private:
  std::shared_ptr<velmoria::platform::ProcessScanner> scanner_;
  std::unique_ptr<velmoria::platform::ProcessWorkspace> workspace_;
  std::unique_ptr<velmoria::MacBlocker> blocker_;
  std::vector<std::unique_ptr<Tree>> trees_;
};

// How an app is started, and what of it shows that it has come up whole.
struct Launch {
  std::string blocked;
  std::vector<std::string> argv;
  std::function<bool(const BlockingSession::Tree&)> upWhole;
  std::vector<std::string> environment = {};
  std::string pidVariable = {};                       // set to the app's pid in its environment
  bool launcherLives = false;                         // the root is another app's launcher, which lives on
  std::vector<std::vector<std::string>> others = {};  // processes of other entries, which live on
};

struct LaunchShape {
  const char* name;
  std::function<Launch(BlockingSession&)> install;
};

std::function<bool(const BlockingSession::Tree&)> running(const std::string& program) {
  return [program](const BlockingSession::Tree& tree) { return tree.runs(program); };
}

// The stand-in `app`, started through a wrapper script that pauses `pause` seconds first.
Launch throughWrapper(BlockingSession& s, const std::string& pause) {
  const auto app = s.program("app");
  const auto wrapper = s.script("wrapper", "#!/bin/sh\nAPPDIR=" + s.tmp.path().string() + "\nsleep " + pause +
                                               "\nexec \"$APPDIR/app\" --overwrite-environ \"$@\"\n");
  s.entry("org.example.App", wrapper + " %U");
  return {"org.example.App", {wrapper}, running(app)};
}

const LaunchShape kShapes[] = {
    {"WrapperExecingAtOnce", [](BlockingSession& s) { return throughWrapper(s, "0"); }},
    {"WrapperExecingAfter150ms", [](BlockingSession& s) { return throughWrapper(s, "0.15"); }},
    {"WrapperExecingAfter300ms", [](BlockingSession& s) { return throughWrapper(s, "0.3"); }},
    {"LaunchedWithItsEntryThenOverwritingItsEnvironment",
     [](BlockingSession& s) {
       const auto app = s.program("app");
       const auto wrapper = s.script("wrapper", "#!/bin/sh\nexec " + app + " --overwrite-environ\n");
       s.entry("org.example.App", wrapper);
       Launch launch{"org.example.App", {wrapper}, running(app)};
       launch.environment = {"GIO_LAUNCHED_DESKTOP_FILE=" + (s.apps() / "org.example.App.desktop").string()};
       launch.pidVariable = "GIO_LAUNCHED_DESKTOP_FILE_PID";
       return launch;
     }},
    {"ShellCommand",
     [](BlockingSession& s) {
       const auto app = s.program("app");
       s.entry("org.example.App", "sh -c \"" + app + " --flag\"");
       return Launch{"org.example.App", {"/bin/sh", "-c", app + " --flag"}, running(app)};
     }},
    {"ScriptRunningItsProgramAsAChild",
     [](BlockingSession& s) {
       const auto app = s.program("app");
       const auto script = s.script("game", "#!/bin/sh\n" + app + " --level 1\necho over\n");
       s.entry("org.example.App", script);
       return Launch{"org.example.App", {script}, running(app)};
     }},
    {"LauncherForkingTheAppASecondLater",
     [](BlockingSession& s) {
       const auto app = s.program("app");
       const auto launcher = s.program("launcher");
       s.entry("org.example.Launcher", launcher);
       s.entry("org.example.App", app + " --app");
       Launch launch{"org.example.App", {launcher, "--fork-exec-after", "1000", app, "--app"}, running(app)};
       launch.launcherLives = true;
       return launch;
     }},
    {"InterpreterEntryExecingTheAppASecondLater",
     [](BlockingSession& s) {
       // As a launcher run by an interpreter whose own entry has no fixed words.
       const auto app = s.program("app");
       const auto interpreter = s.program("interpreter");
       s.entry("org.example.Interpreter", interpreter);
       s.entry("org.example.App", app + " --app");
       return Launch{"org.example.App", {interpreter, "--exec-after", "1000", app, "--app"}, running(app)};
     }},
    {"TreeThreeLevelsDeep",
     [](BlockingSession& s) {
       const auto app = s.program("app");
       s.entry("org.example.App", app + " --tree 3");
       return Launch{
           "org.example.App", {app, "--tree", "3"}, [](const BlockingSession::Tree& tree) { return tree.size() >= 3; }};
     }},
    {"BareEntryBesideOneWithAClass",
     [](BlockingSession& s) {
       const auto prog = s.program("prog");
       s.entry("org.example.Prog", prog);
       s.entry("org.example.ProgX", prog + " -class X");
       const auto ux = s.script("ux", "#!/bin/sh\n: \"${PROG=" + prog + "}\"\nexec \"$PROG\" -class UX -u8 \"$@\"\n");
       s.entry("org.example.UX", ux);
       Launch launch{"org.example.Prog", {prog}, running(prog)};
       launch.others = {{prog, "-class", "X"}, {ux}};
       return launch;
     }},
    {"EntryWithAClassBesideABareOne",
     [](BlockingSession& s) {
       const auto prog = s.program("prog");
       s.entry("org.example.Prog", prog);
       s.entry("org.example.ProgX", prog + " -class X");
       Launch launch{"org.example.ProgX", {prog, "-class", "X", "-title", "x"}, running(prog)};
       launch.others = {{prog}, {prog, "-class", "Y"}};
       return launch;
     }},
};

// Each shape, already running at the sweep (true) or launched during the session (false).
class LaunchShapes : public ::testing::TestWithParam<std::tuple<LaunchShape, bool>> {};

// Starts the app, open before blocking starts or launched after, and expects every process of it dead
// within `polls` polls of its coming up (or of its kill before that), and the processes of `launch.others`
// alive. `comeUp` bounds the app's own start.
void expectKilledWhole(BlockingSession& session, const Launch& launch, bool openAtSweep, int polls,
                       const std::vector<std::filesystem::path>& folders = {}, std::chrono::milliseconds comeUp = 10s) {
  std::vector<BlockingSession::Tree*> others;
  for (const auto& argv : launch.others) others.push_back(&session.start(argv, launch.environment));
  const auto start = [&]() -> BlockingSession::Tree& {
    return launch.pidVariable.empty() ? session.start(launch.argv, launch.environment)
                                      : session.start(launch.argv, launch.environment, launch.pidVariable);
  };
  const auto settle = [&](BlockingSession::Tree& tree, bool polling) {
    // Polls run on the test clock, paced so that the app moves on between them.
    return velmoria::testsupport::eventually(
        [&] {
          if (polling) session.poll();
          tree.look();
          // Killed before it came up whole (a launcher's own process does not count).
          const bool killed = tree.ended(launch.launcherLives) && tree.size() > (launch.launcherLives ? 1u : 0u);
          return launch.upWhole(tree) || killed;
        },
        comeUp);
  };
  BlockingSession::Tree* tree = nullptr;
  if (openAtSweep) {
    tree = &start();
    ASSERT_TRUE(settle(*tree, false)) << "the app did not come up";
    for (auto* other : others) other->look();
    session.block(launch.blocked, folders);
  } else {
    session.block(launch.blocked, folders);
    tree = &start();
    ASSERT_TRUE(settle(*tree, true)) << "the app did not come up";
  }
  for (int poll = 0; poll < polls; ++poll) session.poll();
  tree->look();
  EXPECT_TRUE(velmoria::testsupport::eventually([&] { return tree->ended(launch.launcherLives); }))
      << "a process of the app lives " << polls << " polls after it came up:" << tree->living();
  if (launch.launcherLives) {
    EXPECT_TRUE(tree->rootRuns()) << "the launcher of another app was killed";
  }
  for (const auto* other : others) EXPECT_TRUE(other->rootRuns()) << "a process of another app was killed";
}

TEST_P(LaunchShapes, EveryProcessOfTheBlockedAppDiesWithinFourPollsAndNoOtherAppsProcess) {
  const auto& [shape, openAtSweep] = GetParam();
  BlockingSession session;
  Launch launch = shape.install(session);
  session.entry("org.example.Fine", session.program("fine"));
  launch.others.push_back({session.program("fine"), "--app"});
  expectKilledWhole(session, launch, openAtSweep, 4);
}

INSTANTIATE_TEST_SUITE_P(RealProcessBlocking, LaunchShapes,
                         ::testing::Combine(::testing::ValuesIn(kShapes), ::testing::Bool()), [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "OpenAtTheSweep" : "LaunchedDuringTheSession");
                         });

// An X server of the test's own, for apps that need a display; nothing where Xvfb is not installed.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    if (!std::filesystem::exists("/usr/bin/Xvfb")) return;
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "800x600x24",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    char number[16] = {};
    const ssize_t n = ::read(fds[0], number, sizeof number - 1);
    ::close(fds[0]);
    if (n > 0) name_ = ":" + std::string(number, static_cast<std::size_t>(n - (number[n - 1] == '\n' ? 1 : 0)));
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

struct RealApp {
  const char* name;
  const char* entry;    // its desktop-file ID in the distribution's applications folder
  const char* program;  // the binary it runs as, once up
  std::string command;  // as a user types it in a shell
  std::size_t processes;
};

const RealApp kRealApps[] = {
    {"Chromium", "chromium", "/usr/lib/chromium/chromium",
     "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking "
     "--disable-component-update --disable-sync --user-data-dir=\"$HOME/chromium\" about:blank",
     4},
    {"Firefox", "firefox-esr", "/usr/lib/firefox-esr/firefox-esr",
     "mkdir -p \"$HOME/firefox\" && firefox-esr --headless --no-remote --profile \"$HOME/firefox\" about:blank", 3},
    {"XTerm", "debian-xterm", "/usr/bin/xterm", "xterm -e sleep 60", 2},
};

// The distribution's apps, where installed, started from a shell: each dies whole within eight polls (two
// seconds) of its coming up, and UXTerm, another entry of the same program, lives.
class RealApps : public ::testing::TestWithParam<std::tuple<RealApp, bool>> {};

TEST_P(RealApps, DieWholeWithinEightPollsOpenAtTheSweepOrLaunchedDuringTheSession) {
  const auto& [app, openAtSweep] = GetParam();
  if (!std::filesystem::exists(app.program) ||
      !std::filesystem::exists(std::string("/usr/share/applications/") + app.entry + ".desktop")) {
    GTEST_SKIP() << app.name << " is not installed";
  }
  VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no Xvfb for a display";
  BlockingSession session;
  Launch launch{app.entry, {"/bin/sh", "-c", app.command}, [&app](const BlockingSession::Tree& tree) {
                  return tree.runs(app.program) && tree.livingCount() >= app.processes;
                }};
  launch.environment = {"DISPLAY=" + display.name(), "HOME=" + session.tmp.path().string(),
                        "PATH=/usr/local/bin:/usr/bin:/bin"};
  if (std::string(app.entry) == "debian-xterm" && std::filesystem::exists("/usr/bin/uxterm"))
    launch.others.push_back({"/usr/bin/uxterm", "-e", "sleep 60"});
  expectKilledWhole(session, launch, openAtSweep, 8, {"/usr/share/applications"}, 60s);
}

INSTANTIATE_TEST_SUITE_P(RealProcessBlocking, RealApps,
                         ::testing::Combine(::testing::ValuesIn(kRealApps), ::testing::Bool()), [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "OpenAtTheSweep" : "LaunchedDuringTheSession");
                         });

}  // namespace
