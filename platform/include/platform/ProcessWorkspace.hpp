#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/MainScheduler.hpp"
#include "platform/ProcessScanner.hpp"
#include "platform/WindowIdentity.hpp"
#include "platform/Workspace.hpp"

namespace velmoria::platform {

// What a window system tells of the windows: the process behind the window that has the focus, and the
// top-level windows. Called from the workspace's poll, on the main thread.
class ActiveWindowSource {
 public:
  virtual ~ActiveWindowSource() = default;
  virtual std::optional<pid_t> activeWindowProcess() = 0;
  // The top-level windows at the first call and whenever they changed since the last answer; nothing while
  // they are unchanged or when no window system tells. Cheap when nothing changed: it is asked every poll.
  virtual std::optional<std::vector<TopLevelWindow>> topLevelWindowsIfChanged() { return std::nullopt; }
  // The top-level windows read afresh from the window system, changed or not; nothing when none tells.
  virtual std::optional<std::vector<TopLevelWindow>> topLevelWindows() { return std::nullopt; }
};

// The workspace over /proc. Launches are found by polling while someone observes them (new apps since
// the previous poll; the apps running when observing starts are not launches); activations by polling
// the active window's process. The scanner is handed the top-level windows at each poll where they changed,
// and as read afresh for the running apps. Handlers run from the scheduler's timer, on the main thread.
class ProcessWorkspace final : public Workspace {
 public:
  ProcessWorkspace(MainScheduler& scheduler, std::shared_ptr<ProcessScanner> scanner,
                   std::unique_ptr<ActiveWindowSource> activeWindow,
                   std::chrono::milliseconds pollInterval = std::chrono::milliseconds(250));
  ~ProcessWorkspace() override;

  std::vector<std::shared_ptr<RunningApplication>> runningApplications() override;
  std::shared_ptr<RunningApplication> frontmostApplication() override;
  WorkspaceObserverToken addObserver(WorkspaceNotification name, Handler handler) override;
  void removeObserver(WorkspaceObserverToken token) override;

  // One poll, as the timer runs it.
  void poll();

 private:
  // A process found to be another app than before counts as that app's launch.
  using AppKey = std::tuple<pid_t, unsigned long long, std::string>;
  static AppKey keyOf(const ProcessApplication& app);
  // Hands the scanner the top-level windows when the window system tells of a change.
  void takeWindowsIfChanged();
  void post(WorkspaceNotification name, const std::shared_ptr<RunningApplication>& app);
  void updateTimer();

  std::shared_ptr<ProcessScanner> scanner_;
  std::unique_ptr<ActiveWindowSource> activeWindow_;
  std::unique_ptr<MainTimer> timer_;
  std::chrono::milliseconds interval_;
  std::map<WorkspaceObserverToken, std::pair<WorkspaceNotification, Handler>> observers_;
  WorkspaceObserverToken next_ = 1;
  bool baseline_ = false;
  std::set<AppKey> known_;
  std::optional<AppKey> lastFront_;
  std::optional<std::chrono::steady_clock::time_point> lastPoll_;  // kept while tracing
};

}  // namespace velmoria::platform
