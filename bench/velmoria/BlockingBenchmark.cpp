// The two costs that recur while blocking: the redirector's 0.6 s tick and the workspace's /proc poll.
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <csignal>
#include <filesystem>
#include <memory>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "platform/AtomicFile.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "platform/desktop/X11ActiveWindow.hpp"
#include "velmoria/BrowserRedirector.hpp"

namespace {

std::filesystem::path makeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmoria-bench-XXXXXX").string();
  return ::mkdtemp(pattern.data());
}

class FixedActive final : public velmoria::platform::ActiveWindowSource {
 public:
  explicit FixedActive(pid_t pid) : pid_(pid) {}
  std::optional<pid_t> activeWindowProcess() override { return pid_; }

 private:
  pid_t pid_;
};

// A process the workspace takes for Chrome: launched the way desktop launchers start an app.
class FakeBrowserProcess {
 public:
  FakeBrowserProcess() {
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string self = "GIO_LAUNCHED_DESKTOP_FILE_PID=" + std::to_string(::getpid());
      const char* env[] = {"GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/com.google.Chrome.desktop", self.c_str(),
                           nullptr};
      ::execle("/bin/sleep", "sleep", "3600", static_cast<char*>(nullptr), env);
      ::_exit(127);
    }
    // The scan reads the environment of the program, not of the child before it is replaced.
    for (int i = 0; i < 500 && !execed(); ++i) ::usleep(1000);
  }
  ~FakeBrowserProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }

 private:
  bool execed() const {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid_) + "/exe", ec).filename() == "sleep";
  }
  pid_t pid_ = -1;
};

// Answers every read of the front tab with one address, as a browser would; records nothing.
class OneTabScripts final : public velmoria::platform::ScriptRunner {
 public:
  explicit OneTabScripts(std::string url) : url_(std::move(url)) {}
  std::optional<std::string> run(const std::string& source) override {
    if (source.find("return URL of") != std::string::npos) return url_;
    ++sets;
    return std::nullopt;
  }
  bool canRun() const override { return true; }
  int sets = 0;

 private:
  std::string url_;
};

// One tick with a 25-entry list in a real suite file (a fresh read each tick, as the redirector does) and
// the frontmost query through the /proc workspace. The X11 variant asks a real X server (run it under
// xvfb-run) for the active window.
struct TickSetup {
  explicit TickSetup(std::unique_ptr<velmoria::platform::ActiveWindowSource> active, std::string tabURL = {})
      : folder(makeFolder()),
        defaults(folder),
        scanner(std::make_shared<velmoria::platform::ProcessScanner>()),
        workspace(scheduler, scanner, std::move(active)),
        scripts(std::move(tabURL)),
        redirector(defaults, workspace, scripts, scheduler, [this] { return folder; }) {
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < 25; ++i) list.push_back("site" + std::to_string(i) + ".example.com");
    velmoria::platform::writeFileAtomically(folder / "group.com.tandrelkoss.kelvaton.json",
                                            nlohmann::json{{"mac.blockedDomains", list}}.dump());
    scanner->scan();
    redirector.start();
  }
  ~TickSetup() {
    redirector.stop();
    std::filesystem::remove_all(folder);
  }

  std::filesystem::path folder;
  velmoria::platform::FileDefaultsSystem defaults;
  velmoria::platform::ManualScheduler scheduler;
  std::shared_ptr<velmoria::platform::ProcessScanner> scanner;
  velmoria::platform::ProcessWorkspace workspace;
  OneTabScripts scripts;
  velmoria::BrowserRedirector redirector;
};

// Most ticks: some other app (this process) is in front, so the tick ends after the frontmost lookup.
void BM_RedirectorTickOtherAppInFront(benchmark::State& state) {
  TickSetup setup(std::make_unique<FixedActive>(::getpid()));
  for (auto _ : state) setup.redirector.tick();
}
BENCHMARK(BM_RedirectorTickOtherAppInFront)->Unit(benchmark::kMicrosecond);

// A browser in front: the frontmost lookup, the list read from the suite file, the script answer and the
// match. "Blocked" is a tab on a listed site inside the pause after its redirect (the set script ran
// once, on the first tick); "allowed" is a tab on a site not on the list.
void runBrowserTick(benchmark::State& state, const std::string& tabURL, bool expectRedirect) {
  const FakeBrowserProcess browser;
  TickSetup setup(std::make_unique<FixedActive>(browser.pid()), tabURL);
  const auto front = setup.workspace.frontmostApplication();
  if (!front || front->bundleIdentifier() != "com.google.Chrome") {
    state.SkipWithError("the fake browser was not taken for Chrome");
    return;
  }
  for (auto _ : state) setup.redirector.tick();
  if ((setup.scripts.sets > 0) != expectRedirect) state.SkipWithError("the tick did not take the expected path");
}

void BM_RedirectorTickBrowserOnBlockedSite(benchmark::State& state) {
  runBrowserTick(state, "https://www.site24.example.com/watch?v=1", true);
}
BENCHMARK(BM_RedirectorTickBrowserOnBlockedSite)->Unit(benchmark::kMicrosecond);

void BM_RedirectorTickBrowserOnAllowedSite(benchmark::State& state) {
  runBrowserTick(state, "https://docs.example.org/page", false);
}
BENCHMARK(BM_RedirectorTickBrowserOnAllowedSite)->Unit(benchmark::kMicrosecond);

void BM_RedirectorTickX11(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr) {
    state.SkipWithError("no DISPLAY");
    return;
  }
  TickSetup setup(std::make_unique<velmoria::platform::desktop::X11ActiveWindow>());
  for (auto _ : state) setup.redirector.tick();
}
BENCHMARK(BM_RedirectorTickX11)->Unit(benchmark::kMicrosecond);

// The window question of every poll while no window changed (the server's events read, nothing asked),
// against a fresh read of the same windows. Run under xvfb-run.
void BM_TopLevelWindowsX11(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr) {
    state.SkipWithError("no DISPLAY");
    return;
  }
  velmoria::platform::desktop::X11ActiveWindow source;
  source.topLevelWindowsIfChanged();
  const auto sent = source.bytesSent();
  const bool fresh = state.range(0) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fresh ? source.topLevelWindows() : source.topLevelWindowsIfChanged());
  }
  state.counters["bytes_sent_per_question"] =
      static_cast<double>(source.bytesSent() - sent) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TopLevelWindowsX11)->ArgName("fresh")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 500 processes of this user besides what already runs.
class Children {
 public:
  explicit Children(int count) {
    for (int i = 0; i < count; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::pause();
        ::_exit(0);
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  ~Children() {
    for (const pid_t p : pids_) ::kill(p, SIGKILL);
    for (const pid_t p : pids_) ::waitpid(p, nullptr, 0);
  }

 private:
  std::vector<pid_t> pids_;
};

void BM_ProcScanKnown500(benchmark::State& state) {
  Children children(500);
  velmoria::platform::ProcessScanner scanner;
  scanner.scan();
  for (auto _ : state) benchmark::DoNotOptimize(scanner.scan());
}
BENCHMARK(BM_ProcScanKnown500)->Unit(benchmark::kMicrosecond);

void BM_ProcScanFirst500(benchmark::State& state) {
  Children children(500);
  auto index = std::make_shared<velmoria::platform::DesktopEntryIndex>();
  index->refreshIfChanged();
  for (auto _ : state) {
    velmoria::platform::ProcessScanner scanner(index);
    benchmark::DoNotOptimize(scanner.scan());
  }
}
BENCHMARK(BM_ProcScanFirst500)->Unit(benchmark::kMicrosecond);

}  // namespace
