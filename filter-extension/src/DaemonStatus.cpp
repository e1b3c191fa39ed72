#include "velmoria_filter/DaemonStatus.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <system_error>

namespace velmoria::filter {
namespace {

// Both texts have the same length, so a reader never sees a half-written one.
constexpr std::string_view idleText = "idle     \n";
constexpr std::string_view enforcingText = "enforcing\n";
static_assert(idleText.size() == enforcingText.size());

}  // namespace

std::filesystem::path daemonStatusPath(const std::filesystem::path& preferences) {
  auto path = preferences;
  path += ".status";
  return path;
}

DaemonStatusFile::DaemonStatusFile(const std::filesystem::path& preferences) {
  const auto path = daemonStatusPath(preferences);
  std::error_code ignored;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) throw DaemonStatusError("cannot open " + path.string() + ": " + std::strerror(errno));
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    throw DaemonStatusError(error == EWOULDBLOCK ? "another velmoria-filter follows " + preferences.string()
                                                 : "cannot lock " + path.string() + ": " + std::strerror(error));
  }
  setEnforcing(false);
}

DaemonStatusFile::~DaemonStatusFile() {
  if (fd_ < 0) return;
  setEnforcing(false);
  ::close(fd_);
}

void DaemonStatusFile::setEnforcing(bool enforcing) {
  const auto text = enforcing ? enforcingText : idleText;
  if (::pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size())) {
    static_cast<void>(::ftruncate(fd_, static_cast<off_t>(text.size())));
  }
}

NetworkNamespaceClaim::NetworkNamespaceClaim() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (fd_ < 0) throw DaemonStatusError(std::string("cannot claim the network namespace: ") + std::strerror(errno));
  // An abstract socket name lives in the network namespace and vanishes with the process.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  constexpr std::string_view name = "velmoria-filter";
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int error = errno;
    ::close(fd_);
    throw DaemonStatusError(error == EADDRINUSE
                                ? "another velmoria-filter runs in this network namespace"
                                : std::string("cannot claim the network namespace: ") + std::strerror(error));
  }
}

NetworkNamespaceClaim::~NetworkNamespaceClaim() { ::close(fd_); }

}  // namespace velmoria::filter
