#include "clocks/SystemClocks.hpp"

#include <algorithm>

#include "base/ThreadSafety.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/CurrentTask.hpp"

namespace zirudeze::clocks {

namespace {
Duration fromTimespec(const timespec& value) {
  return std::chrono::seconds(value.tv_sec) + std::chrono::nanoseconds(value.tv_nsec);
}
}  // namespace

Instant SystemClock::now() const {
  timespec value{};
  clock_gettime(id_, &value);
  return Instant{fromTimespec(value)};
}

Duration SystemClock::minimumResolution() const {
  timespec value{};
  clock_getres(id_, &value);
  return fromTimespec(value);
}

void SystemClock::sleepUntil(Instant deadline, std::optional<Duration>, std::stop_token token) const {
  const std::stop_token effective = concurrency::effectiveStopToken(token);
  velmoria::base::Mutex mutex;
  velmoria::base::ConditionVariable wake;
  velmoria::base::MutexLock lock(mutex);
  // The wait itself runs on the steady clock; re-reading this clock after each wait keeps the
  // deadline on this clock's own time.
  while (true) {
    if (effective.stop_requested()) throw concurrency::CancellationError();
    const Duration remaining = now().durationTo(deadline);
    if (remaining <= Duration::zero()) return;
    wake.waitFor(lock, effective, remaining, [] { return false; });
  }
}

}  // namespace zirudeze::clocks
