#include "helpers/SleepClock.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "base/Immortal.hpp"
#include "clocks/SystemClocks.hpp"
#include "concurrency/LockIsolated.hpp"

namespace zirudeze::helpers {

clocks::Duration secondsToDuration(double seconds) {
  // Far beyond any real wait; keeps the conversion (and deadline arithmetic after it) in range.
  constexpr double limit = 1e9;  // about 31 years; nanoseconds overflow past 9.2e9 s
  if (std::isnan(seconds)) return clocks::Duration::zero();
  seconds = std::clamp(seconds, -limit, limit);
  return std::chrono::duration_cast<clocks::Duration>(std::chrono::duration<double>(seconds));
}

void ContinuousSleepClock::sleep(double seconds, std::stop_token token) const {
  const clocks::ContinuousClock clock;
  clock.sleepUntil(clock.now().advanced(secondsToDuration(seconds)), std::nullopt, std::move(token));
}

void TestClockSleepClock::sleep(double seconds, std::stop_token token) const {
  clock_->sleepUntil(clock_->now().advanced(secondsToDuration(seconds)), std::nullopt, std::move(token));
}

namespace {
// Detached tasks may still sleep while the process exits.
LockIsolated<std::shared_ptr<const SleepClock>>& processSleepClock() {
  static velmoria::base::Immortal<LockIsolated<std::shared_ptr<const SleepClock>>> clock(
      std::shared_ptr<const SleepClock>(std::make_shared<const ContinuousSleepClock>()));
  return *clock;
}
}  // namespace

std::shared_ptr<const SleepClock> currentSleepClock() { return processSleepClock().value(); }

ScopedSleepClock::ScopedSleepClock(std::shared_ptr<const SleepClock> clock) {
  processSleepClock().withValue(
      [&](std::shared_ptr<const SleepClock>& current) { previous_ = std::exchange(current, std::move(clock)); });
}

ScopedSleepClock::~ScopedSleepClock() { processSleepClock().setValue(std::move(previous_)); }

}  // namespace zirudeze::helpers
