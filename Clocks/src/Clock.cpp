#include "clocks/Clock.hpp"

#include <cstdio>
#include <cstdlib>

namespace zirudeze::clocks {

void Clock::sleep(Duration duration, std::stop_token token) const {
  sleepUntil(now().advanced(duration), std::nullopt, std::move(token));
}

std::string describe(Duration duration) {
  const auto count = duration.count();
  const bool negative = count < 0;
  const auto magnitude = negative ? -static_cast<unsigned long long>(count) : static_cast<unsigned long long>(count);
  const unsigned long long whole = magnitude / 1'000'000'000ULL;
  unsigned long long fraction = magnitude % 1'000'000'000ULL;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%09llu", fraction);
  std::string fractionText(digits);
  while (fractionText.size() > 1 && fractionText.back() == '0') fractionText.pop_back();
  return std::string(negative ? "-" : "") + std::to_string(whole) + "." + fractionText + " seconds";
}

}  // namespace zirudeze::clocks
