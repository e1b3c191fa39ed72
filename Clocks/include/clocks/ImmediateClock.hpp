#pragma once

#include "base/ThreadSafety.hpp"
#include "clocks/Clock.hpp"

namespace zirudeze::clocks {

// A clock whose sleeps end at once: sleeping moves `now` to the deadline (also backwards).
class ImmediateClock final : public Clock {
 public:
  explicit ImmediateClock(Instant now = Instant{}) : now_(now) {}

  Instant now() const override;
  Duration minimumResolution() const override { return Duration::zero(); }
  void sleepUntil(Instant deadline, std::optional<Duration> tolerance = std::nullopt,
                  std::stop_token token = {}) const override;

 private:
  mutable velmoria::base::Mutex mutex_;
  mutable Instant now_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::clocks
