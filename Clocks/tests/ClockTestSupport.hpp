#pragma once

#include <chrono>
#include <thread>

#include "clocks/TestClock.hpp"

namespace zirudeze::clocks::testing {

using namespace std::chrono_literals;

inline Instant at(Duration offset) { return Instant{offset}; }

// Waits in real time (bounded) until `count` sleepers are parked on `clock`.
inline bool waitForSleepers(const TestClock& clock, std::size_t count) {
  const auto giveUp = std::chrono::steady_clock::now() + 10s;
  while (clock.suspensionCount() < count) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace zirudeze::clocks::testing
