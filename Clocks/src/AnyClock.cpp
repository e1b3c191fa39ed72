#include "clocks/AnyClock.hpp"

namespace zirudeze::clocks {

AnyClock::AnyClock(std::shared_ptr<const Clock> base) : base_(std::move(base)), start_(base_->now()) {}

Instant AnyClock::now() const { return Instant{start_.durationTo(base_->now())}; }

Duration AnyClock::minimumResolution() const { return base_->minimumResolution(); }

void AnyClock::sleepUntil(Instant deadline, std::optional<Duration> tolerance, std::stop_token token) const {
  base_->sleepUntil(start_.advanced(deadline.offset), tolerance, std::move(token));
}

}  // namespace zirudeze::clocks
