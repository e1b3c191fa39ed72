#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace zirudeze::concurrency {

// How urgent a task is. Tasks run on their own threads, so the priority is advisory only.
enum class TaskPriority { high, medium, low, userInitiated, utility, background };

// One unit of work handed to the task spawner. It runs at most once, on whichever thread claims it first.
class TaskJob {
 public:
  explicit TaskJob(std::function<void()> work) : work_(std::move(work)) {}

  // Runs the work unless another thread already claimed it; true when this call ran it.
  bool tryRun();

 private:
  std::function<void()> work_;
  std::atomic<bool> claimed_{false};
};

// Starts `job` on a thread of its own (an idle one left by an earlier task, else a new one), or, while the serial hook
// is installed, queues it for the one serial thread that runs queued jobs one at a time in submission order.
void submitTaskJob(const std::shared_ptr<TaskJob>& job);

// True on the serial thread: a task waited for there runs inline if it has not started yet, since the
// thread that would run it is the waiting one.
bool onSerialTaskThread();

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
