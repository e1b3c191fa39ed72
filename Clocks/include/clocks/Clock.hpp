#pragma once

#include <chrono>
#include <compare>
#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace zirudeze::clocks {

using Duration = std::chrono::nanoseconds;

// A point on a clock, as its distance from that clock's own origin.
struct Instant {
  Duration offset{0};

  Instant advanced(Duration by) const { return Instant{offset + by}; }
  Duration durationTo(Instant other) const { return other.offset - offset; }

  friend bool operator==(const Instant&, const Instant&) = default;
  friend auto operator<=>(const Instant&, const Instant&) = default;
};

// An exchangeable clock. sleepUntil blocks the calling thread and throws concurrency::CancellationError
// when `token` (by default the current task's token) is triggered first.
class Clock {
 public:
  virtual ~Clock() = default;

  virtual Instant now() const = 0;
  virtual Duration minimumResolution() const = 0;
  virtual void sleepUntil(Instant deadline, std::optional<Duration> tolerance = std::nullopt,
                          std::stop_token token = {}) const = 0;

  // Sleeps until now() advanced by `duration`.
  void sleep(Duration duration, std::stop_token token = {}) const;
};

// A duration as a number of seconds with its unit: "1.5 seconds", "2.0 seconds".
std::string describe(Duration duration);

}  // namespace zirudeze::clocks

template <>
struct std::hash<zirudeze::clocks::Instant> {
  std::size_t operator()(const zirudeze::clocks::Instant& instant) const noexcept {
    return std::hash<zirudeze::clocks::Duration::rep>{}(instant.offset.count());
  }
};
