#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <set>

#include "platform/MainScheduler.hpp"
#include "platform/ProcessScanner.hpp"
#include "platform/Workspace.hpp"

namespace velmoria::platform {

// The process behind the window that has the focus, when a window system tells.
class ActiveWindowSource {
 public:
  virtual ~ActiveWindowSource() = default;
  virtual std::optional<pid_t> activeWindowProcess() = 0;
};

// The workspace over /proc. Launches are found by polling while someone observes them (new apps since
// the previous poll; the apps running when observing starts are not launches); activations by polling
// the active window's process. Handlers run from the scheduler's timer, on the main thread.
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
  void post(WorkspaceNotification name, const std::shared_ptr<RunningApplication>& app);
  void updateTimer();

  std::shared_ptr<ProcessScanner> scanner_;
  std::unique_ptr<ActiveWindowSource> activeWindow_;
  std::unique_ptr<MainTimer> timer_;
  std::chrono::milliseconds interval_;
  std::map<WorkspaceObserverToken, std::pair<WorkspaceNotification, Handler>> observers_;
  WorkspaceObserverToken next_ = 1;
  bool baseline_ = false;
  std::set<std::pair<pid_t, unsigned long long>> known_;
  std::optional<std::pair<pid_t, unsigned long long>> lastFront_;
  std::optional<std::chrono::steady_clock::time_point> lastPoll_;  // kept while tracing
};

}  // namespace velmoria::platform
