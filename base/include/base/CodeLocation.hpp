#pragma once

#include <version>

#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace velmoria::base {

// The caller's file, function, line and column, taken as a default argument. clang 14 with
// GCC 12's library has no std::source_location, so that pairing (the fuzz build) gets our own.
#if defined(__cpp_lib_source_location)
using CodeLocation = std::source_location;
#else
class CodeLocation {
 public:
  static constexpr CodeLocation current(const char* file = __builtin_FILE(),
                                        const char* function = __builtin_FUNCTION(), unsigned line = __builtin_LINE(),
                                        unsigned column = __builtin_COLUMN()) noexcept {
    CodeLocation location;
    location.file_ = file;
    location.function_ = function;
    location.line_ = line;
    location.column_ = column;
    return location;
  }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr const char* function_name() const noexcept { return function_; }
  constexpr unsigned line() const noexcept { return line_; }
  constexpr unsigned column() const noexcept { return column_; }

 private:
  const char* file_ = "";
  const char* function_ = "";
  unsigned line_ = 0;
  unsigned column_ = 0;
};
#endif

}  // namespace velmoria::base
