#include "velmoria_filter/FilterDaemon.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <utility>

namespace velmoria::filter {
namespace {

// Without a watch (the folder does not exist yet) the file is polled at this interval.
constexpr int pollIntervalMs = 2000;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

FilterDaemon::FilterDaemon(WebFilterProvider& provider, std::filesystem::path preferences)
    : provider_(provider), preferences_(std::move(preferences)) {}

void FilterDaemon::reload() {
  const auto stored = readFilterPreferences(preferences_);
  const bool enable = stored.enabled && stored.providerConfiguration.has_value();
  if (enable && !running_) {
    provider_.startFilter(stored.providerConfiguration, {});
    running_ = true;
  } else if (!enable && running_) {
    const auto reason =
        stored.providerConfiguration ? StopReason::configurationDisabled : StopReason::configurationRemoved;
    provider_.stopFilter(static_cast<long>(reason), {});
    running_ = false;
  }
}

int FilterDaemon::run() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return 1;
  const FileDescriptor signalFd(signalfd(-1, &signals, SFD_CLOEXEC));
  if (signalFd.get() < 0) return 1;

  const FileDescriptor inotifyFd(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
  int watch = -1;
  const auto folder = preferences_.parent_path().empty() ? std::filesystem::path(".") : preferences_.parent_path();
  const auto tryWatch = [&] {
    if (watch < 0 && inotifyFd.get() >= 0) {
      // The app replaces the file by renaming a temporary one over it.
      watch = inotify_add_watch(inotifyFd.get(), folder.c_str(),
                                IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE | IN_DELETE_SELF);
    }
  };
  tryWatch();
  reload();

  for (;;) {
    std::array<pollfd, 2> fds{{{signalFd.get(), POLLIN, 0}, {inotifyFd.get(), POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), watch >= 0 ? -1 : pollIntervalMs);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info{};
      if (::read(signalFd.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGHUP) {
          reload();
        } else {
          break;
        }
      }
    }
    if (fds[1].revents & POLLIN) {
      alignas(inotify_event) std::array<char, 4096> events{};
      bool folderGone = false;
      ssize_t length = 0;
      while ((length = ::read(inotifyFd.get(), events.data(), events.size())) > 0) {
        for (ssize_t at = 0; at < length;) {
          inotify_event event{};
          std::memcpy(&event, events.data() + at, sizeof event);
          if ((event.mask & (IN_DELETE_SELF | IN_IGNORED)) != 0) folderGone = true;
          at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
      }
      if (folderGone) watch = -1;
      reload();
    }
    if (watch < 0) {
      tryWatch();
      reload();
    }
  }
  if (running_) {
    provider_.stopFilter(static_cast<long>(StopReason::userInitiated), {});
    running_ = false;
  }
  return 0;
}

}  // namespace velmoria::filter
