#include "platform/AtomicFile.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "base/FileDescriptor.hpp"

namespace velmoria::platform {
namespace {

using base::FileDescriptor;

constexpr std::size_t kRandomLength = 6;  // mkostemp's "XXXXXX"

[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

bool lockExclusively(int fd, int flags) {
  while (::flock(fd, LOCK_EX | flags) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool isTemporaryName(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + kRandomLength || !name.starts_with(prefix)) return false;
  for (const char c : name.substr(prefix.size())) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

// A writer holds a lock on its temporary file from creation until the rename, so one that can be
// locked was left by a writer that died before renaming it.
void removeStaleTemporaries(const std::filesystem::path& folder, std::string_view prefix) {
  const FileDescriptor dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd.valid()) return;  // the write itself reports what is wrong with the folder
  DIR* dir = ::fdopendir(::dup(dirFd.get()));
  if (dir == nullptr) return;
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(dir)) {
    if (isTemporaryName(entry->d_name, prefix)) candidates.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const auto& name : candidates) {
    const FileDescriptor fd(::openat(dirFd.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid()) continue;
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != ::geteuid()) continue;
    if (!lockExclusively(fd.get(), LOCK_NB)) continue;  // a live writer's
    struct stat named {};
    if (::fstatat(dirFd.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (named.st_ino != opened.st_ino || named.st_dev != opened.st_dev) continue;
    ::unlinkat(dirFd.get(), name.c_str(), 0);
  }
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
  const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  const std::string prefix = "." + path.filename().string() + ".";
  removeStaleTemporaries(folder, prefix);

  std::string tempPath;
  FileDescriptor fd;
  for (;;) {
    std::string name = (folder / (prefix + std::string(kRandomLength, 'X'))).string();
    FileDescriptor created(::mkostemp(name.data(), O_CLOEXEC));
    if (!created.valid()) fail("create temporary file for " + path.string());
    if (!lockExclusively(created.get(), 0)) {
      const int error = errno;
      ::unlink(name.c_str());
      errno = error;
      fail("lock " + name);
    }
    // Another writer's clean-up may have taken the file between its creation and the lock.
    struct stat info {};
    if (::fstat(created.get(), &info) != 0) fail("stat " + name);
    if (info.st_nlink == 0) continue;
    tempPath = std::move(name);
    fd = FileDescriptor(created.release());
    break;
  }
  bool renamed = false;
  struct Cleanup {
    const std::string& p;
    bool& done;
    ~Cleanup() {
      if (!done) ::unlink(p.c_str());
    }
  } cleanup{tempPath, renamed};

  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write " + tempPath);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd.get(), mode) != 0) fail("chmod " + tempPath);
  if (::fsync(fd.get()) != 0) fail("fsync " + tempPath);
  // The lock lives on in a second descriptor until the rename is done.
  const FileDescriptor lockHolder(::dup(fd.get()));
  if (!lockHolder.valid()) fail("hold the lock on " + tempPath);
  if (::close(fd.release()) != 0) fail("close " + tempPath);
  if (::rename(tempPath.c_str(), path.c_str()) != 0) fail("rename to " + path.string());
  renamed = true;

  // Make the rename itself durable; a folder that cannot be synced may lose it in a crash.
  const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) fail("open folder " + folder.string());
  if (::fsync(dir.get()) != 0) fail("sync folder " + folder.string());
}

}  // namespace velmoria::platform
