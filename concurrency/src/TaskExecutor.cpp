#include "concurrency/TaskExecutor.hpp"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "concurrency/MainSerialHook.hpp"

namespace zirudeze::helpers {

namespace {

thread_local bool isSerialThread = false;

// Owned jointly by a static handle and the serial thread, so neither outlives the other's use of it.
struct SerialQueue {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::shared_ptr<TaskJob>> jobs;

  static void drain(const std::shared_ptr<SerialQueue>& queue) {
    isSerialThread = true;
    for (;;) {
      std::shared_ptr<TaskJob> job;
      {
        std::unique_lock lock(queue->mutex);
        queue->wake.wait(lock, [&] { return !queue->jobs.empty(); });
        job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
      }
      job->tryRun();
    }
  }
};

std::shared_ptr<SerialQueue> serialQueue() {
  static const std::shared_ptr<SerialQueue> queue = [] {
    auto created = std::make_shared<SerialQueue>();
    std::thread(&SerialQueue::drain, created).detach();
    return created;
  }();
  return queue;
}

}  // namespace

bool TaskJob::tryRun() {
  if (claimed_.exchange(true)) return false;
  auto work = std::move(work_);
  work();
  return true;
}

void submitTaskJob(const std::shared_ptr<TaskJob>& job) {
  if (mainSerialHookInstalled()) {
    const auto queue = serialQueue();
    {
      std::lock_guard lock(queue->mutex);
      queue->jobs.push_back(job);
    }
    queue->wake.notify_one();
    return;
  }
  std::thread([job] { job->tryRun(); }).detach();
}

bool onSerialTaskThread() { return isSerialThread; }

}  // namespace zirudeze::helpers
