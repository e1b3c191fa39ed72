#pragma once

#include <cstddef>
#include <exception>
#include <memory>

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
//
// Sleepers are threads, so an advance hands over to each sleeper it wakes and waits until that sleeper
// is parked again, has ended or blocked on something else, or has run on for two seconds; only then
// does time move on. So a sleeper's work after a wake happens at its own deadline, and run never takes a
// woken sleeper on its way back to sleep for an idle clock.
class TestClock final : public Clock {
 public:
  explicit TestClock(Instant now = Instant{});
  ~TestClock() override;

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
  // calling task is cancelled), the parked sleepers fail with CancellationError, as does every sleeper
  // that parks before run returns, and an issue is reported at `location`.
  void run(Duration timeout, const issuereporting::SourceLocation& location) const;

  // How many sleepers are parked; lets tests wait until a sleeper on another thread has arrived.
  std::size_t suspensionCount() const;

 private:
  struct Waiter;
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zirudeze::clocks
