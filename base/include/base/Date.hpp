#pragma once

#include <chrono>

namespace velmoria::base {

// An instant in time; keeps the platform clock's sub-second precision.
using Date = std::chrono::system_clock::time_point;

// Seconds between 1970-01-01 and 2001-01-01, the reference date of the "deferred" date form.
inline constexpr double kReferenceDateOffset = 978307200.0;

inline double secondsSince1970(Date date) { return std::chrono::duration<double>(date.time_since_epoch()).count(); }

inline Date dateFromSecondsSince1970(double seconds) {
  // Rounded, not truncated: 0.001 s is not exactly representable and must not come back 1 ns short.
  return Date(std::chrono::round<Date::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace velmoria::base
