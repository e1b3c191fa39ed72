#pragma once

#include <chrono>
#include <thread>

namespace velmoria::testsupport {

// Polls `condition` until it holds or `timeout` passes; whether it held. The limit only matters when
// the condition never comes, so it is generous for loaded machines.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace velmoria::testsupport
