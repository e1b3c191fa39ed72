#include "clocks/ImmediateClock.hpp"

#include "concurrency/CancellationError.hpp"
#include "concurrency/CurrentTask.hpp"
#include "concurrency/StreamAdapters.hpp"

namespace zirudeze::clocks {

Instant ImmediateClock::now() const {
  const velmoria::base::MutexLock lock(mutex_);
  return now_;
}

void ImmediateClock::sleepUntil(Instant deadline, std::optional<Duration>, std::stop_token token) const {
  if (concurrency::effectiveStopToken(token).stop_requested()) throw concurrency::CancellationError();
  {
    const velmoria::base::MutexLock lock(mutex_);
    now_ = deadline;
  }
  // Lets work woken by the new time run before the sleeper carries on.
  concurrency::megaYield();
}

}  // namespace zirudeze::clocks
