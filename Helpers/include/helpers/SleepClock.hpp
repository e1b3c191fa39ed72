#pragma once

#include <memory>
#include <stop_token>

#include "clocks/Clock.hpp"
#include "clocks/TestClock.hpp"

namespace zirudeze::helpers {

// Sleeps for a number of seconds; throws CancellationError when `token` (by default the current
// task's) is triggered first.
class SleepClock {
 public:
  virtual ~SleepClock() = default;
  virtual void sleep(double seconds, std::stop_token token = {}) const = 0;
};

// Fractional seconds as the clocks' duration, rounded toward zero to whole nanoseconds; NaN is zero and
// values beyond about 3000 years are held there.
clocks::Duration secondsToDuration(double seconds);

// Sleeps on the machine's continuous clock.
class ContinuousSleepClock final : public SleepClock {
 public:
  void sleep(double seconds, std::stop_token token = {}) const override;
};

// Sleeps on a test clock until its `now` has advanced by the seconds asked for.
class TestClockSleepClock final : public SleepClock {
 public:
  explicit TestClockSleepClock(std::shared_ptr<const clocks::TestClock> clock) : clock_(std::move(clock)) {}
  void sleep(double seconds, std::stop_token token = {}) const override;

 private:
  std::shared_ptr<const clocks::TestClock> clock_;
};

// The process's sleeping clock: the continuous clock, unless a test has put another one in place.
std::shared_ptr<const SleepClock> currentSleepClock();

// For tests: makes `clock` the process's sleeping clock until the scope ends, then puts back the one
// before it. Every sleep that starts meanwhile (on any thread) uses it; one already under way keeps
// its clock. Scopes must end in the reverse order of their start.
class ScopedSleepClock {
 public:
  explicit ScopedSleepClock(std::shared_ptr<const SleepClock> clock);
  ~ScopedSleepClock();
  ScopedSleepClock(const ScopedSleepClock&) = delete;
  ScopedSleepClock& operator=(const ScopedSleepClock&) = delete;

 private:
  std::shared_ptr<const SleepClock> previous_;
};

}  // namespace zirudeze::helpers
