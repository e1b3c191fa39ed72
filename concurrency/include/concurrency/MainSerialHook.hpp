#pragma once

#include <type_traits>
#include <utility>

namespace zirudeze::concurrency {

// While installed, every task started through Task runs on one serial thread, one at a time, in the
// order the tasks were started. Meant for deterministic tests; set it up from one thread.
bool mainSerialHookInstalled();
void setMainSerialHookInstalled(bool installed);

// Runs `operation` with the serial hook installed, then puts back whether one was installed before.
template <class Operation>
decltype(auto) runWithMainSerialHook(Operation&& operation) {
  struct Restore {
    bool wasInstalled;
    ~Restore() { setMainSerialHookInstalled(wasInstalled); }
  } restore{mainSerialHookInstalled()};
  setMainSerialHookInstalled(true);
  return std::forward<Operation>(operation)();
}

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
