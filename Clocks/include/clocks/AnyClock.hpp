#pragma once

#include <memory>

#include "clocks/Clock.hpp"

namespace zirudeze::clocks {

// Any clock behind one type. Its time starts at zero when it is made and moves as its base moves.
class AnyClock final : public Clock {
 public:
  explicit AnyClock(std::shared_ptr<const Clock> base);

  Instant now() const override;
  Duration minimumResolution() const override;
  void sleepUntil(Instant deadline, std::optional<Duration> tolerance = std::nullopt,
                  std::stop_token token = {}) const override;

 private:
  std::shared_ptr<const Clock> base_;
  Instant start_;
};

}  // namespace zirudeze::clocks
