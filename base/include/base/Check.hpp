#pragma once

#include <cstdint>
#include <string_view>

#include "base/CodeLocation.hpp"

namespace velmoria::base {

// Stops the program. Only for a broken invariant or a caller breaking a function's contract; input
// from outside gets an error instead. Writes "<file>:<line>: Fatal error: <message>" to standard error,
// flushes it and aborts.
[[noreturn]] void fatalError(std::string_view message, CodeLocation location = CodeLocation::current()) noexcept;
// The same for a place the caller names (for instance the source location of a reported issue).
[[noreturn]] void fatalError(std::string_view message, std::string_view file, std::uint64_t line) noexcept;

}  // namespace velmoria::base

// Stops the program with `message` unless `condition` holds; `message` is evaluated only then.
#define VM_CHECK(condition, message)         \
  do {                                       \
    if (!(condition)) [[unlikely]] {         \
      ::velmoria::base::fatalError(message); \
    }                                        \
  } while (false)
