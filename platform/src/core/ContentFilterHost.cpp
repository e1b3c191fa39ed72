#include "platform/ContentFilterHost.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/capability.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

#include "base/FileDescriptor.hpp"
#include "base/ThreadSafety.hpp"

extern char** environ;

namespace velmoria::platform {
namespace {

struct CapFree {
  void operator()(cap_t caps) const { cap_free(caps); }
};

using base::FileDescriptor;

}  // namespace

std::filesystem::path contentFilterStatusFile(const std::filesystem::path& preferences) {
  auto path = preferences;
  path += ".status";
  return path;
}

ContentFilterRunState readContentFilterRunState(const std::filesystem::path& statusFile) {
  const FileDescriptor fd(::open(statusFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) return ContentFilterRunState::notRunning;
  // A lock we can take is held by nobody: the daemon is gone, whatever the file still says.
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0) return ContentFilterRunState::notRunning;
  if (errno != EWOULDBLOCK) return ContentFilterRunState::notRunning;
  std::array<char, 16> text{};
  const auto length = ::pread(fd.get(), text.data(), text.size(), 0);
  if (length >= 9 && std::string_view(text.data(), 9) == "enforcing") return ContentFilterRunState::enforcing;
  return ContentFilterRunState::idle;
}

struct FileContentFilterStatus::Watch {
  base::Mutex mutex;
  std::function<void()> observer VM_GUARDED_BY(mutex);
  int stopPipe[2] = {-1, -1};
  std::thread thread;

  ~Watch() {
    if (thread.joinable()) {
      static_cast<void>(::write(stopPipe[1], "x", 1));
      thread.join();
    }
    for (const int fd : stopPipe) {
      if (fd >= 0) ::close(fd);
    }
  }

  void notify() {
    std::function<void()> current;
    {
      const base::MutexLock lock(mutex);
      current = observer;
    }
    if (current) current();
  }
};

FileContentFilterStatus::FileContentFilterStatus(std::filesystem::path statusFile)
    : file_(std::move(statusFile)), watch_(std::make_unique<Watch>()) {
  if (::pipe2(watch_->stopPipe, O_CLOEXEC) != 0) return;
  const auto folder = file_.has_parent_path() ? file_.parent_path() : std::filesystem::path(".");
  const auto name = file_.filename().string();
  FileDescriptor inotify(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
  // The daemon closing the file, as it does when it dies, shows as a close after writing.
  const auto addWatch = [folder](const FileDescriptor& descriptor) {
    if (descriptor.get() < 0) return -1;
    return inotify_add_watch(descriptor.get(), folder.c_str(),
                             IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_DELETE_SELF);
  };
  // Watched before the constructor returns, so no change made after it is missed.
  const int firstWatch = addWatch(inotify);
  watch_->thread = std::thread([watch = watch_.get(), inotify = std::move(inotify), addWatch, name,
                                watched = firstWatch, stop = watch_->stopPipe[0]]() mutable {
    for (;;) {
      if (watched < 0) watched = addWatch(inotify);
      std::array<pollfd, 2> fds{{{stop, POLLIN, 0}, {inotify.get(), POLLIN, 0}}};
      // Without a watch (no folder yet) the file is looked at every few seconds.
      if (::poll(fds.data(), fds.size(), watched >= 0 ? -1 : 2000) < 0 && errno != EINTR) return;
      if (fds[0].revents & POLLIN) return;
      bool relevant = watched < 0;
      if (fds[1].revents & POLLIN) {
        alignas(inotify_event) std::array<char, 4096> events{};
        ssize_t length = 0;
        while ((length = ::read(inotify.get(), events.data(), events.size())) > 0) {
          for (ssize_t at = 0; at < length;) {
            inotify_event event{};
            std::memcpy(&event, events.data() + at, sizeof event);
            const char* eventName = events.data() + at + sizeof(inotify_event);
            if ((event.mask & (IN_IGNORED | IN_DELETE_SELF)) != 0) watched = -1;
            if (event.len > 0 && name == eventName) relevant = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
          }
        }
      }
      if (relevant) watch->notify();
    }
  });
}

FileContentFilterStatus::~FileContentFilterStatus() = default;

ContentFilterRunState FileContentFilterStatus::current() const { return readContentFilterRunState(file_); }

void FileContentFilterStatus::observe(std::function<void()> observer) {
  const base::MutexLock lock(watch_->mutex);
  watch_->observer = std::move(observer);
}

bool grantsFilterCapabilities(const std::filesystem::path& executable) {
  const std::unique_ptr<std::remove_pointer_t<cap_t>, CapFree> caps(cap_get_file(executable.c_str()));
  if (!caps) return false;
  for (const cap_value_t capability : {CAP_NET_RAW, CAP_NET_ADMIN}) {
    for (const cap_flag_t flag : {CAP_PERMITTED, CAP_EFFECTIVE}) {
      cap_flag_value_t value = CAP_CLEAR;
      if (cap_get_flag(caps.get(), capability, flag, &value) != 0 || value != CAP_SET) return false;
    }
  }
  return true;
}

bool launchDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{program.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (auto& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (const int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, pointers.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  // Collected when it ends, so it never lingers as a zombie.
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  return true;
}

LocalSystemExtensionManager::Extension contentFilterExtension(std::filesystem::path preferences) {
  LocalSystemExtensionManager::Extension extension;
  extension.executable = "velmoria-filter";
  extension.approvalNeeded = [](const std::filesystem::path& executable) -> std::optional<std::string> {
    if (grantsFilterCapabilities(executable)) return std::nullopt;
    return executable.string() +
           " needs CAP_NET_RAW and CAP_NET_ADMIN to see and block traffic; grant them with: sudo "
           "scripts/install-filter " +
           executable.string();
  };
  extension.activated = [preferences = std::move(preferences)](const std::filesystem::path& executable) {
    if (readContentFilterRunState(contentFilterStatusFile(preferences)) != ContentFilterRunState::notRunning) return;
    launchDetached(executable, {"--config", preferences.string()});
  };
  return extension;
}

}  // namespace velmoria::platform
