#pragma once

namespace zirudeze::http::detail {

// A broken caller obligation: print the message and abort. Never used for input from outside.
[[noreturn]] void fatalError(const char* message) noexcept;

inline void precondition(bool condition, const char* message) noexcept {
  if (!condition) fatalError(message);
}

}  // namespace zirudeze::http::detail
