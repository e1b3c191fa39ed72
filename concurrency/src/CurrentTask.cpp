#include "concurrency/CurrentTask.hpp"

#include <utility>

#include "concurrency/CancellationError.hpp"

namespace zirudeze::concurrency {

namespace {
std::stop_token& currentTokenSlot() {
  thread_local std::stop_token token;
  return token;
}
}  // namespace

std::stop_token currentStopToken() { return currentTokenSlot(); }

std::stop_token effectiveStopToken(const std::stop_token& token) {
  return token.stop_possible() ? token : currentTokenSlot();
}

bool isCurrentTaskCancelled() { return currentTokenSlot().stop_requested(); }

void checkCancellation() {
  if (isCurrentTaskCancelled()) throw CancellationError();
}

CurrentStopTokenScope::CurrentStopTokenScope(std::stop_token token)
    : saved_(std::exchange(currentTokenSlot(), std::move(token))) {}

CurrentStopTokenScope::~CurrentStopTokenScope() { currentTokenSlot() = std::move(saved_); }

}  // namespace zirudeze::concurrency
