#include "base/RegularFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include "base/FileDescriptor.hpp"

namespace velmoria::base {
namespace {

[[noreturn]] void fail(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

bool isMissing(int error) { return error == ENOENT || error == ENOTDIR; }

void check(const struct stat& info, const std::filesystem::path& file, std::size_t maxBytes) {
  if (!S_ISREG(info.st_mode)) fail(EINVAL, "not a regular file: " + file.string());
  if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) fail(EFBIG, "file too large: " + file.string());
}

}  // namespace

std::optional<std::string> readRegularFile(const std::filesystem::path& file, std::size_t maxBytes) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    if (isMissing(errno)) return std::nullopt;
    fail(errno, "stat " + file.string());
  }
  check(info, file, maxBytes);

  const base::FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) {
    if (isMissing(errno)) return std::nullopt;
    fail(errno, "open " + file.string());
  }
  // What was opened may not be what was checked.
  if (::fstat(fd.get(), &info) != 0) fail(errno, "stat " + file.string());
  check(info, file, maxBytes);

  std::string text;
  text.reserve(static_cast<std::size_t>(info.st_size));
  std::array<char, 65536> buffer{};
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno, "read " + file.string());
    }
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > maxBytes - text.size()) fail(EFBIG, "file too large: " + file.string());
    text.append(buffer.data(), static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace velmoria::base
