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

// Waits in real time, at most `limit`, until `condition` holds; returns whether it did.
template <class Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = 5s) {
  const auto giveUp = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace zirudeze::clocks::testing
