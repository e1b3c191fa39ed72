#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmoria::platform {

// A running app as the workspace reports it. It keeps referring to the process it was found as:
// terminating it never reaches another process that later got the same pid.
class RunningApplication {
 public:
  virtual ~RunningApplication() = default;
  virtual pid_t processIdentifier() const = 0;
  // The desktop-file ID; nothing for a process that no installed app accounts for.
  virtual std::optional<std::string> bundleIdentifier() const = 0;
  virtual std::optional<std::string> localizedName() const = 0;
  // Kills the process at once; false when it was already gone or the kill was refused.
  virtual bool forceTerminate() = 0;
};

enum class WorkspaceNotification { didLaunchApplication, didActivateApplication };

using WorkspaceObserverToken = std::uint64_t;

class Workspace {
 public:
  // The app is null when the notification carries none.
  using Handler = std::function<void(const std::shared_ptr<RunningApplication>& app)>;

  virtual ~Workspace() = default;
  virtual std::vector<std::shared_ptr<RunningApplication>> runningApplications() = 0;
  virtual std::shared_ptr<RunningApplication> frontmostApplication() = 0;
  // Handlers run on the main thread.
  virtual WorkspaceObserverToken addObserver(WorkspaceNotification name, Handler handler) = 0;
  virtual void removeObserver(WorkspaceObserverToken token) = 0;
};

// Scripted apps and events for tests.
class FakeWorkspace final : public Workspace {
 public:
  struct App final : RunningApplication {
    pid_t pid = 0;
    std::optional<std::string> bundleID;
    std::optional<std::string> name;
    int terminateCalls = 0;
    bool running = true;
    pid_t processIdentifier() const override { return pid; }
    std::optional<std::string> bundleIdentifier() const override { return bundleID; }
    std::optional<std::string> localizedName() const override { return name; }
    bool forceTerminate() override;
  };

  std::shared_ptr<App> addApp(std::optional<std::string> bundleID, std::optional<std::string> name);
  // Adds the app (if new) and posts didLaunch; activate() makes it frontmost and posts didActivate.
  void launch(const std::shared_ptr<App>& app);
  void activate(const std::shared_ptr<App>& app);
  void post(WorkspaceNotification name, const std::shared_ptr<RunningApplication>& app);

  std::vector<std::shared_ptr<RunningApplication>> runningApplications() override;
  std::shared_ptr<RunningApplication> frontmostApplication() override;
  WorkspaceObserverToken addObserver(WorkspaceNotification name, Handler handler) override;
  void removeObserver(WorkspaceObserverToken token) override;

  std::size_t observerCount() const { return observers_.size(); }
  int frontmostQueries = 0;
  std::shared_ptr<App> frontmost;
  std::vector<std::shared_ptr<App>> apps;

 private:
  std::map<WorkspaceObserverToken, std::pair<WorkspaceNotification, Handler>> observers_;
  WorkspaceObserverToken next_ = 1;
  pid_t nextPid_ = 1000;
};

}  // namespace velmoria::platform
