#include "clocks/TimerSequence.hpp"

#include <stdexcept>

namespace zirudeze::clocks {

AsyncTimerSequence::AsyncTimerSequence(Duration interval, std::optional<Duration> tolerance,
                                       std::shared_ptr<const Clock> clock)
    : clock_(std::move(clock)), interval_(interval), tolerance_(tolerance) {
  if (interval_ <= Duration::zero()) throw std::invalid_argument("timer interval must be greater than zero");
}

Instant AsyncTimerSequence::Iterator::nextDeadline(Instant now) const {
  const Instant base = last_.value_or(now);
  const Instant next = base.advanced(interval_);
  if (!(next < now)) return next;
  // Behind: the grid point at or just before now. Whole-number steps, rounded up, in integer time.
  const auto behind = next.durationTo(now).count();
  const auto step = interval_.count();
  const auto k = (behind + step - 1) / step;
  return base.advanced(interval_ * k);
}

std::optional<Instant> AsyncTimerSequence::Iterator::next(std::stop_token token) {
  if (!clock_) return std::nullopt;
  const Instant deadline = nextDeadline(clock_->now());
  try {
    clock_->sleepUntil(deadline, tolerance_, std::move(token));
  } catch (...) {
    clock_.reset();
    return std::nullopt;
  }
  const Instant now = clock_->now();
  last_ = deadline;
  return now;
}

AsyncTimerSequence timer(std::shared_ptr<const Clock> clock, Duration interval, std::optional<Duration> tolerance) {
  return AsyncTimerSequence(interval, tolerance, std::make_shared<const AnyClock>(std::move(clock)));
}

}  // namespace zirudeze::clocks
