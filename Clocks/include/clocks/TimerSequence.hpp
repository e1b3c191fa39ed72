#pragma once

#include <memory>
#include <optional>

#include "clocks/AnyClock.hpp"

namespace zirudeze::clocks {

// Yields the clock's time once per interval, on the grid start + n * interval. A consumer that falls
// behind gets one tick at once and no backlog. A failed sleep (cancellation) ends the sequence.
class AsyncTimerSequence {
 public:
  class Iterator {
   public:
    // The time read after the tick's sleep, or nothing once the sequence has ended.
    std::optional<Instant> next(std::stop_token token = {});

   private:
    friend class AsyncTimerSequence;
    Iterator(std::shared_ptr<const Clock> clock, Duration interval, std::optional<Duration> tolerance)
        : clock_(std::move(clock)), interval_(interval), tolerance_(tolerance) {}
    Instant nextDeadline(Instant now) const;

    std::shared_ptr<const Clock> clock_;
    Duration interval_;
    std::optional<Duration> tolerance_;
    std::optional<Instant> last_;
  };

  // Throws std::invalid_argument for an interval of zero or less: no grid can be built on it.
  AsyncTimerSequence(Duration interval, std::optional<Duration> tolerance, std::shared_ptr<const Clock> clock);

  Iterator makeIterator() const { return Iterator(clock_, interval_, tolerance_); }

 private:
  std::shared_ptr<const Clock> clock_;
  Duration interval_;
  std::optional<Duration> tolerance_;
};

// A timer on any clock, seen through an AnyClock made now.
AsyncTimerSequence timer(std::shared_ptr<const Clock> clock, Duration interval,
                         std::optional<Duration> tolerance = std::nullopt);

}  // namespace zirudeze::clocks
