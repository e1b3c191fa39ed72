#pragma once

#include <exception>

namespace zirudeze::concurrency {

// Thrown when the current task was cancelled while it waited or before it could finish.
class CancellationError : public std::exception {
 public:
  const char* what() const noexcept override { return "CancellationError()"; }
};

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
