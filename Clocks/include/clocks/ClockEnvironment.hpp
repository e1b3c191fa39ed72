#pragma once

#include <memory>

#include "clocks/Clock.hpp"

namespace zirudeze::clocks {

// The process's shared continuous and suspending clocks, each made once on first use.
std::shared_ptr<const Clock> defaultContinuousClock();
std::shared_ptr<const Clock> defaultSuspendingClock();

// The clocks a screen and what it shows should use; a caller may replace either for what it builds.
struct ClockEnvironment {
  std::shared_ptr<const Clock> continuousClock = defaultContinuousClock();
  std::shared_ptr<const Clock> suspendingClock = defaultSuspendingClock();
};

}  // namespace zirudeze::clocks
