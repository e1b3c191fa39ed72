#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace zirudeze::realtime::detail {

// The pause before join attempt `attempt` + 1 (attempt 1, 2, ...): min(2^(attempt - 1), 30) seconds
// give or take a quarter, drawn from `source` over the closed range, and never under 0.1 s.
template <std::uniform_random_bit_generator Source>
double retryDelay(std::int64_t attempt, Source& source) {
  const double exponent = static_cast<double>(std::clamp<std::int64_t>(attempt - 1, 0, 64));
  const double capped = std::min(std::pow(2.0, exponent), 30.0);
  const double range = capped * 0.25;
  std::uniform_real_distribution<double> jitter(-range, std::nextafter(range, std::numeric_limits<double>::max()));
  return std::max(capped + std::min(jitter(source), range), 0.1);
}

// The same, drawn from the system's random source.
double retryDelay(std::int64_t attempt);

}  // namespace zirudeze::realtime::detail
