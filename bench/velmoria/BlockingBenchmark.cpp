// The two costs that recur while blocking: the redirector's 0.6 s tick and the workspace's /proc poll.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <csignal>
#include <filesystem>
#include <memory>

#include "platform/AtomicFile.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "platform/desktop/X11ActiveWindow.hpp"
#include "velmoria/BrowserRedirector.hpp"

namespace {

std::filesystem::path makeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmoria-bench-XXXXXX").string();
  return ::mkdtemp(pattern.data());
}

class SelfActive final : public platform::ActiveWindowSource {
 public:
  std::optional<pid_t> activeWindowProcess() override { return ::getpid(); }
};

// One tick with a 25-entry list in a real suite file (a fresh read each tick, as the redirector does) and
// the frontmost query through the /proc workspace; the X11 variant asks a real X server (run it under
// xvfb-run) for the active window.
void runTick(benchmark::State& state, std::unique_ptr<platform::ActiveWindowSource> active) {
  const auto folder = makeFolder();
  nlohmann::json list = nlohmann::json::array();
  for (int i = 0; i < 25; ++i) list.push_back("site" + std::to_string(i) + ".example.com");
  platform::writeFileAtomically(folder / "group.com.tandrelkoss.kelvaton.json",
                                nlohmann::json{{"mac.blockedDomains", list}}.dump());
  platform::FileDefaultsSystem defaults(folder);
  platform::ManualScheduler scheduler;
  auto scanner = std::make_shared<platform::ProcessScanner>();
  platform::ProcessWorkspace workspace(scheduler, scanner, std::move(active));
  scanner->scan();
  platform::UnavailableScriptRunner scripts;
  velmoria::BrowserRedirector redirector(defaults, workspace, scripts, scheduler, [&] { return folder; });
  redirector.start();
  for (auto _ : state) redirector.tick();
  redirector.stop();
  std::filesystem::remove_all(folder);
}

void BM_RedirectorTick(benchmark::State& state) { runTick(state, std::make_unique<SelfActive>()); }
BENCHMARK(BM_RedirectorTick)->Unit(benchmark::kMicrosecond);

void BM_RedirectorTickX11(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr) {
    state.SkipWithError("no DISPLAY");
    return;
  }
  runTick(state, std::make_unique<platform::desktop::X11ActiveWindow>());
}
BENCHMARK(BM_RedirectorTickX11)->Unit(benchmark::kMicrosecond);

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
  platform::ProcessScanner scanner;
  scanner.scan();
  for (auto _ : state) benchmark::DoNotOptimize(scanner.scan());
}
BENCHMARK(BM_ProcScanKnown500)->Unit(benchmark::kMicrosecond);

void BM_ProcScanFirst500(benchmark::State& state) {
  Children children(500);
  auto index = std::make_shared<platform::DesktopEntryIndex>();
  index->refreshIfChanged();
  for (auto _ : state) {
    platform::ProcessScanner scanner(index);
    benchmark::DoNotOptimize(scanner.scan());
  }
}
BENCHMARK(BM_ProcScanFirst500)->Unit(benchmark::kMicrosecond);

}  // namespace
