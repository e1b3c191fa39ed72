#include "ThreadActivity.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zirudeze::clocks::detail {

pid_t currentThreadId() noexcept { return ::gettid(); }

ThreadActivity observeThread(pid_t thread) noexcept {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/task/%d/status", static_cast<int>(thread));
  std::FILE* file = std::fopen(path, "re");
  if (file == nullptr) return {};
  ThreadActivity activity;
  activity.exists = true;
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, "State:", 6) == 0) {
      const char* state = line + 6;
      while (*state == ' ' || *state == '\t') ++state;
      activity.runnable = *state == 'R';
      if (*state == 'Z' || *state == 'X') activity.exists = false;  // ending
    } else if (std::strncmp(line, "voluntary_ctxt_switches:", 24) == 0) {
      activity.switches += std::strtoull(line + 24, nullptr, 10);
    } else if (std::strncmp(line, "nonvoluntary_ctxt_switches:", 27) == 0) {
      activity.switches += std::strtoull(line + 27, nullptr, 10);
    }
  }
  std::fclose(file);
  return activity;
}

}  // namespace zirudeze::clocks::detail
