#pragma once

#include <memory>
#include <string>

#include "clocks/AnyClock.hpp"
#include "issuereporting/SourceLocation.hpp"

namespace zirudeze::clocks {

// A working clock that reports an issue every time it is used, for code that should need no clock.
class UnimplementedClock final : public Clock {
 public:
  UnimplementedClock(std::shared_ptr<const Clock> base, std::string name,
                     const issuereporting::SourceLocation& location);
  // Over a new ImmediateClock starting at `now`.
  UnimplementedClock(std::string name, Instant now, const issuereporting::SourceLocation& location);
  // Named "Clock", over a new ImmediateClock at zero.
  explicit UnimplementedClock(const issuereporting::SourceLocation& location);
  // Over a new ImmediateClock at zero, reporting at this file's own location.
  explicit UnimplementedClock(std::string name);

  Instant now() const override;
  Duration minimumResolution() const override;
  void sleepUntil(Instant deadline, std::optional<Duration> tolerance = std::nullopt,
                  std::stop_token token = {}) const override;

  const std::string& name() const { return name_; }

 private:
  void report(const char* member) const;

  std::shared_ptr<const AnyClock> base_;
  std::string name_;
  issuereporting::SourceLocation location_;
};

}  // namespace zirudeze::clocks
