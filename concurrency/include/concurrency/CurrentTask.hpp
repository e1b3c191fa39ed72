#pragma once

#include <stop_token>

namespace zirudeze::concurrency {

// The stop token of the task running on this thread; one that never stops outside a task.
std::stop_token currentStopToken();

// `token` when it can stop, else the current task's token: blocking calls that take an optional token
// use this so that cancelling the calling task reaches them.
std::stop_token effectiveStopToken(const std::stop_token& token);

bool isCurrentTaskCancelled();

// Throws CancellationError when the current task has been cancelled.
void checkCancellation();

// Makes `token` the current stop token of this thread until the scope ends.
class CurrentStopTokenScope {
 public:
  explicit CurrentStopTokenScope(std::stop_token token);
  ~CurrentStopTokenScope();
  CurrentStopTokenScope(const CurrentStopTokenScope&) = delete;
  CurrentStopTokenScope& operator=(const CurrentStopTokenScope&) = delete;

 private:
  std::stop_token saved_;
};

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
