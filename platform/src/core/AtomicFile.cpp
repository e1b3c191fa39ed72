#include "platform/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace platform {
namespace {

[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
  const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  FdGuard fd(::mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) fail("create temporary file for " + path.string());
  const std::string tempPath(name.data());
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
  if (::close(fd.release()) != 0) fail("close " + tempPath);
  if (::rename(tempPath.c_str(), path.c_str()) != 0) fail("rename to " + path.string());
  renamed = true;

  // Make the rename itself durable.
  FdGuard dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace platform
