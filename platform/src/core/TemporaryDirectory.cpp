#include "platform/TemporaryDirectory.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace velmoria::platform {
namespace {

// A folder is safe when it is a real directory (not a link), owned by us, and closed to others.
bool isPrivateFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::filesystem::path temporaryDirectory() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/' && isPrivateFolder(runtime)) {
    return runtime;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = (tmp && *tmp == '/') ? tmp : "/tmp";
  const std::string own = base + "/velmoria-" + std::to_string(::geteuid());
  if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::system_error(errno, std::generic_category(), "create " + own);
  }
  if (!isPrivateFolder(own)) {
    throw std::system_error(EPERM, std::generic_category(), own + " is not a private folder of this user");
  }
  return own;
}

}  // namespace velmoria::platform
