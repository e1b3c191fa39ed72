#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "base/Data.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::realtime {

// The legacy socket's constants, back-offs and JSON coding.
struct Defaults {
  static constexpr double timeoutInterval = 10.0;
  static constexpr double heartbeatInterval = 30.0;
  static constexpr std::chrono::milliseconds heartbeatLeeway{10};
  static constexpr std::string_view vsn = "2.0.0";

  // Try n counts from 1: 0.01, 0.05, 0.1, 0.15, 0.2, 0.25, 0.5, 1, 2 seconds, then 5.
  static double reconnectSteppedBackOff(int tries) noexcept;
  // 1, 2, 5 seconds, then 10.
  static double rejoinSteppedBackOff(int tries) noexcept;

  // Compact JSON text. Throws velmoria::base::EncodingError for what JSON cannot hold (a non-finite number, text
  // that is not UTF-8).
  static velmoria::base::Data encode(const helpers::AnyJSON& value);
  // Nothing for bytes that are not one JSON value.
  static std::optional<helpers::AnyJSON> decode(std::string_view bytes);
  static std::optional<helpers::AnyJSON> decode(const velmoria::base::Data& bytes);
};

// A value's textual description, wherever the legacy socket writes one (query items, error texts, log
// lines): text as itself, 42, 5.0, 0.01, true, <null>, ["a", 1], ["k": 1].
std::string describe(const helpers::AnyJSON& value);

}  // namespace zirudeze::realtime
