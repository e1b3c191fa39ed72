#pragma once

#include <exception>

namespace zirudeze::helpers {

// Thrown when the current task was cancelled while it waited or before it could finish.
class CancellationError : public std::exception {
 public:
  const char* what() const noexcept override { return "CancellationError()"; }
};

}  // namespace zirudeze::helpers
