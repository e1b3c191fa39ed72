#include "platform/ExternalURLOpener.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

extern char** environ;

namespace velmoria::platform {

bool openURLExternally(std::string_view url) {
  if (url.empty() || url.front() == '-') return false;
  std::string program = "xdg-open";
  std::string argument(url);
  char* const argv[] = {program.data(), argument.data(), nullptr};
  pid_t child = 0;
  if (::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  // The opener may wait for the browser it starts; nobody waits for it here.
  std::thread([child] {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace velmoria::platform
