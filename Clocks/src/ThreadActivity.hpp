#pragma once

#include <sys/types.h>

#include <cstdint>

namespace zirudeze::clocks::detail {

// What the kernel says about one thread of this process.
struct ThreadActivity {
  bool exists = false;
  bool runnable = false;       // running or waiting for a processor (also when preempted)
  std::uint64_t switches = 0;  // context switches so far: unchanged while it stays blocked
};

pid_t currentThreadId() noexcept;
ThreadActivity observeThread(pid_t thread) noexcept;

}  // namespace zirudeze::clocks::detail
