#pragma once

#include <ctime>

#include "clocks/Clock.hpp"

namespace zirudeze::clocks {

// A clock of the kernel: `now` is the time since that clock's origin.
class SystemClock : public Clock {
 public:
  explicit SystemClock(clockid_t id) : id_(id) {}

  Instant now() const override;
  Duration minimumResolution() const override;
  void sleepUntil(Instant deadline, std::optional<Duration> tolerance = std::nullopt,
                  std::stop_token token = {}) const override;

 private:
  clockid_t id_;
};

// Keeps counting while the machine is suspended.
class ContinuousClock final : public SystemClock {
 public:
  ContinuousClock() : SystemClock(CLOCK_BOOTTIME) {}
};

// Stands still while the machine is suspended.
class SuspendingClock final : public SystemClock {
 public:
  SuspendingClock() : SystemClock(CLOCK_MONOTONIC) {}
};

}  // namespace zirudeze::clocks
