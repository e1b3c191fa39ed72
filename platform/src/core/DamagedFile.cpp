#include "platform/DamagedFile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace velmoria::platform {
namespace {

constexpr int kMaxCopies = 100;

bool linksUnsupported(int error) {
  return error == EPERM || error == EXDEV || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace

std::filesystem::path keepDamagedFile(const std::filesystem::path& file) {
  for (int n = 0; n < kMaxCopies; ++n) {
    std::filesystem::path copy = file.string() + ".corrupt";
    if (n > 0) copy += "." + std::to_string(n);
    if (::link(file.c_str(), copy.c_str()) == 0) return copy;
    if (errno == EEXIST) continue;
    if (!linksUnsupported(errno)) {
      throw std::system_error(errno, std::generic_category(), "keep a copy of " + file.string());
    }
    // Without hard links the file moves to the free name instead; the next write makes a new one.
    if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, copy.c_str(), RENAME_NOREPLACE) == 0) return copy;
    if (errno == EEXIST) continue;
    throw std::system_error(errno, std::generic_category(), "keep a copy of " + file.string());
  }
  throw std::system_error(EEXIST, std::generic_category(), "too many damaged copies of " + file.string());
}

}  // namespace velmoria::platform
