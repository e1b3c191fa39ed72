#include "clocks/ClockEnvironment.hpp"

#include "clocks/SystemClocks.hpp"

namespace zirudeze::clocks {

std::shared_ptr<const Clock> defaultContinuousClock() {
  static const std::shared_ptr<const Clock> clock = std::make_shared<const ContinuousClock>();
  return clock;
}

std::shared_ptr<const Clock> defaultSuspendingClock() {
  static const std::shared_ptr<const Clock> clock = std::make_shared<const SuspendingClock>();
  return clock;
}

}  // namespace zirudeze::clocks
