#include "clocks/ImmediateClock.hpp"

#include "concurrency/CancellationError.hpp"
#include "concurrency/CurrentTask.hpp"
#include "concurrency/StreamAdapters.hpp"

namespace zirudeze::clocks {

Instant ImmediateClock::now() const {
  const base::MutexLock lock(mutex_);
  return now_;
}

void ImmediateClock::sleepUntil(Instant deadline, std::optional<Duration>, std::stop_token token) const {
  if (helpers::effectiveStopToken(token).stop_requested()) throw helpers::CancellationError();
  {
    const base::MutexLock lock(mutex_);
    now_ = deadline;
  }
  // Lets work woken by the new time run before the sleeper carries on.
  helpers::megaYield();
}

}  // namespace zirudeze::clocks
