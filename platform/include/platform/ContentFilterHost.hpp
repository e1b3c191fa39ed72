#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/SystemExtensionRequest.hpp"

// The Linux host of the content-filter provider: the velmoria-filter daemon, which follows the
// network-extension preferences file and needs CAP_NET_RAW and CAP_NET_ADMIN to see and block traffic.
namespace velmoria::platform {

enum class ContentFilterRunState { notRunning, idle, enforcing };

// "<preferences>.status": the daemon following those preferences holds it locked while it runs and
// writes "idle" or "enforcing" into it.
std::filesystem::path contentFilterStatusFile(const std::filesystem::path& preferences);
ContentFilterRunState readContentFilterRunState(const std::filesystem::path& statusFile);

// The daemon's run state as it changes.
class ContentFilterStatus {
 public:
  virtual ~ContentFilterStatus() = default;
  virtual ContentFilterRunState current() const = 0;
  // Called on a thread of the implementation's after each change; replaces an earlier observer.
  virtual void observe(std::function<void()> observer) = 0;
};

// Watches the status file (inotify on its folder, which sees a dying daemon's file close too).
class FileContentFilterStatus final : public ContentFilterStatus {
 public:
  explicit FileContentFilterStatus(std::filesystem::path statusFile);
  ~FileContentFilterStatus() override;

  ContentFilterRunState current() const override;
  void observe(std::function<void()> observer) override;

 private:
  struct Watch;
  std::filesystem::path file_;
  std::unique_ptr<Watch> watch_;
};

// Set by tests; observers run inside set().
class FakeContentFilterStatus final : public ContentFilterStatus {
 public:
  explicit FakeContentFilterStatus(ContentFilterRunState state = ContentFilterRunState::enforcing) : state_(state) {}
  ContentFilterRunState current() const override { return state_; }
  void observe(std::function<void()> observer) override { observer_ = std::move(observer); }
  void set(ContentFilterRunState state) {
    state_ = state;
    if (observer_) observer_();
  }

 private:
  ContentFilterRunState state_;
  std::function<void()> observer_;
};

// True when the file grants both CAP_NET_RAW and CAP_NET_ADMIN, effective, to whoever runs it.
bool grantsFilterCapabilities(const std::filesystem::path& executable);

// Starts a program in a session of its own, its standard streams on /dev/null; never through a shell.
// Returns false when it could not be started.
bool launchDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments);

// The filter daemon as a system extension: activation needs the user's approval while the executable
// lacks its capabilities (the text names the command that grants them), and once activated it is
// started for `preferences` unless a daemon already follows them.
LocalSystemExtensionManager::Extension contentFilterExtension(std::filesystem::path preferences);

}  // namespace velmoria::platform
