#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "base/UUID.hpp"
#include "clocks/Clock.hpp"
#include "issuereporting/SourceLocation.hpp"

namespace zirudeze::clocks {

// Thrown by checkSuspension while sleepers are parked.
class SuspensionError : public std::exception {
 public:
  const char* what() const noexcept override { return "SuspensionError()"; }
};

// A clock whose time moves only when it is advanced. Sleepers park until the clock reaches their
// deadline and wake one at a time, in deadline order, each seeing `now` equal to its own deadline.
class TestClock final : public Clock {
 public:
  explicit TestClock(Instant now = Instant{}) : now_(now) {}

  Instant now() const override;
  Duration minimumResolution() const override { return Duration::zero(); }
  // A deadline at or after `now` parks the caller (also `now` itself); an earlier one returns at once.
  void sleepUntil(Instant deadline, std::optional<Duration> tolerance = std::nullopt,
                  std::stop_token token = {}) const override;

  // Throws SuspensionError when a sleeper is parked.
  void checkSuspension() const;

  void advance(Duration by = Duration::zero()) const;
  // A target before `now` changes nothing.
  void advance(Instant to) const;

  // Advances until no sleeper is left. When that takes longer than `timeout` of real time (or the
  // calling task is cancelled), the parked sleepers fail with CancellationError and an issue is
  // reported at `location`.
  void run(Duration timeout, const issuereporting::SourceLocation& location) const;

  // How many sleepers are parked; lets tests wait until a sleeper on another thread has arrived.
  std::size_t suspensionCount() const;

 private:
  struct Waiter;
  struct Suspension {
    base::UUID id;
    Instant deadline;
    std::shared_ptr<Waiter> waiter;
  };

  mutable std::recursive_mutex mutex_;
  mutable Instant now_;
  mutable std::vector<Suspension> suspensions_;
};

}  // namespace zirudeze::clocks
