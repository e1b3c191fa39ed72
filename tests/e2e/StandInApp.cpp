// A stand-in for the shapes real apps run in, for the blocking tests. Without a mode it waits until it is
// killed, whatever its arguments, so a copy under any name with any flags is an app that keeps running.
//   --tree N                 forks a child running --tree N-1 (a process tree N levels deep), then waits
//   --overwrite-environ      overwrites its environment block in place, as some browsers do, then waits
//   --exec-after MS PROG...  waits MS milliseconds, then execs PROG with the words after it
//   --fork-exec-after MS PROG...  forks a child that does --exec-after, and waits itself
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

[[noreturn]] void waitForever() {
  for (;;) ::pause();
}

[[noreturn]] void execAfter(char** argv) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[0])));
  ::execv(argv[1], argv + 1);
  ::_exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "--tree" && argc > 2) {
    const int levels = std::atoi(argv[2]);
    if (levels > 1 && ::fork() == 0) {
      const std::string next = std::to_string(levels - 1);
      char* childArgv[] = {argv[0], argv[1], const_cast<char*>(next.c_str()), nullptr};
      ::execv("/proc/self/exe", childArgv);
      ::_exit(127);
    }
    waitForever();
  }
  if (mode == "--overwrite-environ") {
    // The block /proc shows as environ is the strings themselves: blank them where they lie.
    for (char** e = environ; *e != nullptr; ++e) std::memset(*e, 0, std::strlen(*e));
    waitForever();
  }
  if (mode == "--exec-after" && argc > 3) execAfter(argv + 2);
  if (mode == "--fork-exec-after" && argc > 3) {
    if (::fork() == 0) execAfter(argv + 2);
    waitForever();
  }
  waitForever();
}
