#include "platform/ProcessWorkspace.hpp"

#include "platform/BlockingTrace.hpp"

namespace velmoria::platform {

ProcessWorkspace::ProcessWorkspace(MainScheduler& scheduler, std::shared_ptr<ProcessScanner> scanner,
                                   std::unique_ptr<ActiveWindowSource> activeWindow,
                                   std::chrono::milliseconds pollInterval)
    : scanner_(std::move(scanner)), activeWindow_(std::move(activeWindow)), interval_(pollInterval) {
  timer_ = scheduler.createTimer([this] { poll(); });
}

ProcessWorkspace::~ProcessWorkspace() = default;

std::vector<std::shared_ptr<RunningApplication>> ProcessWorkspace::runningApplications() {
  // Read afresh: a window mapped a moment ago may not have been told of yet.
  if (activeWindow_) {
    if (auto windows = activeWindow_->topLevelWindows()) scanner_->setWindows(std::move(*windows));
  }
  const auto apps = scanner_->scan();
  return {apps.begin(), apps.end()};
}

std::shared_ptr<RunningApplication> ProcessWorkspace::frontmostApplication() {
  if (!activeWindow_) return nullptr;
  const auto pid = activeWindow_->activeWindowProcess();
  if (!pid) return nullptr;
  if (!scanner_->knows(*pid)) scanner_->scan();  // a process started since the last scan
  return scanner_->applicationOwning(*pid);
}

WorkspaceObserverToken ProcessWorkspace::addObserver(WorkspaceNotification name, Handler handler) {
  const auto token = next_++;
  observers_.emplace(token, std::make_pair(name, std::move(handler)));
  updateTimer();
  return token;
}

void ProcessWorkspace::removeObserver(WorkspaceObserverToken token) {
  observers_.erase(token);
  updateTimer();
}

void ProcessWorkspace::updateTimer() {
  if (observers_.empty()) {
    timer_->stop();
    baseline_ = false;
    lastFront_.reset();
    return;
  }
  if (!timer_->isActive()) {
    timer_->start(interval_, true);
    // What runs now is the baseline, not a launch.
    known_.clear();
    takeWindowsIfChanged();
    for (const auto& app : scanner_->scan()) known_.insert(keyOf(*app));
    baseline_ = true;
  }
}

ProcessWorkspace::AppKey ProcessWorkspace::keyOf(const ProcessApplication& app) {
  return {app.processIdentifier(), app.startTime(), app.bundleIdentifier().value_or("")};
}

void ProcessWorkspace::takeWindowsIfChanged() {
  if (!activeWindow_) return;
  if (auto windows = activeWindow_->topLevelWindowsIfChanged()) scanner_->setWindows(std::move(*windows));
}

void ProcessWorkspace::post(WorkspaceNotification name, const std::shared_ptr<RunningApplication>& app) {
  std::vector<Handler> handlers;
  for (const auto& [token, entry] : observers_) {
    if (entry.first == name) handlers.push_back(entry.second);
  }
  for (const auto& h : handlers) h(app);
}

void ProcessWorkspace::poll() {
  if (blockingtrace::enabled()) {
    // A poll that comes late (a loaded machine, a blocked main thread) delays every kill behind it.
    const auto now = std::chrono::steady_clock::now();
    if (lastPoll_ && now - *lastPoll_ > 2 * interval_) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - *lastPoll_).count();
      blockingtrace::write("poll " + std::to_string(ms) + " ms after the last one");
    }
    lastPoll_ = now;
  }
  takeWindowsIfChanged();
  const auto apps = scanner_->scan();
  std::set<AppKey> now;
  std::vector<std::shared_ptr<ProcessApplication>> launched;
  for (const auto& app : apps) {
    const auto key = keyOf(*app);
    now.insert(key);
    if (baseline_ && known_.count(key) == 0) launched.push_back(app);
  }
  known_ = std::move(now);
  baseline_ = true;
  for (const auto& app : launched) {
    if (blockingtrace::enabled()) {
      blockingtrace::write("launch of " + app->bundleIdentifier().value_or("?") + ", pid " +
                           std::to_string(app->processIdentifier()));
    }
    post(WorkspaceNotification::didLaunchApplication, app);
  }

  if (!activeWindow_) return;
  const auto pid = activeWindow_->activeWindowProcess();
  std::shared_ptr<ProcessApplication> front = pid ? scanner_->applicationOwning(*pid) : nullptr;
  std::optional<AppKey> key;
  if (front) key = keyOf(*front);
  if (key != lastFront_) {
    lastFront_ = key;
    if (front) {
      if (blockingtrace::enabled()) {
        blockingtrace::write("activation of " + front->bundleIdentifier().value_or("?") + ", pid " +
                             std::to_string(front->processIdentifier()));
      }
      post(WorkspaceNotification::didActivateApplication, front);
    }
  }
}

}  // namespace velmoria::platform
