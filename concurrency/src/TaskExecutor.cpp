#include "concurrency/TaskExecutor.hpp"

#include <chrono>
#include <deque>
#include <thread>

#include "base/ThreadSafety.hpp"
#include "concurrency/MainSerialHook.hpp"

namespace zirudeze::concurrency {

namespace {

thread_local bool isSerialThread = false;

// Owned jointly by a static handle and the serial thread, so neither outlives the other's use of it.
struct SerialQueue {
  velmoria::base::Mutex mutex;
  velmoria::base::PlainConditionVariable wake;
  std::deque<std::shared_ptr<TaskJob>> jobs VM_GUARDED_BY(mutex);

  static void drain(const std::shared_ptr<SerialQueue>& queue) {
    isSerialThread = true;
    for (;;) {
      std::shared_ptr<TaskJob> job;
      {
        velmoria::base::MutexLock lock(queue->mutex);
        queue->wake.wait(lock, [&]() VM_REQUIRES(queue->mutex) { return !queue->jobs.empty(); });
        job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
      }
      job->tryRun();
    }
  }
};

// Threads that finished a task wait a while for the next one, so a burst of short tasks does not pay
// for a new thread each. A task may block for as long as it likes: when no thread is idle, a new one
// starts, so tasks never wait for each other.
struct ThreadReuse {
  static constexpr auto idleLifetime = std::chrono::seconds(2);

  velmoria::base::Mutex mutex;
  velmoria::base::PlainConditionVariable wake;
  std::deque<std::shared_ptr<TaskJob>> jobs VM_GUARDED_BY(mutex);
  std::size_t idle VM_GUARDED_BY(mutex) = 0;

  static void submit(const std::shared_ptr<ThreadReuse>& reuse, std::shared_ptr<TaskJob> job) {
    {
      const velmoria::base::MutexLock lock(reuse->mutex);
      reuse->jobs.push_back(std::move(job));
      if (reuse->jobs.size() <= reuse->idle) {
        reuse->wake.notifyOne();
        return;
      }
    }
    std::thread(&ThreadReuse::work, reuse).detach();
  }

  static void work(const std::shared_ptr<ThreadReuse>& reuse) {
    for (;;) {
      std::shared_ptr<TaskJob> job;
      {
        velmoria::base::MutexLock lock(reuse->mutex);
        while (reuse->jobs.empty()) {
          ++reuse->idle;
          const bool woken =
              reuse->wake.waitFor(lock, idleLifetime, [&]() VM_REQUIRES(reuse->mutex) { return !reuse->jobs.empty(); });
          --reuse->idle;
          if (!woken) return;
        }
        job = std::move(reuse->jobs.front());
        reuse->jobs.pop_front();
      }
      job->tryRun();
    }
  }
};

std::shared_ptr<ThreadReuse> threadReuse() {
  static const std::shared_ptr<ThreadReuse> reuse = std::make_shared<ThreadReuse>();
  return reuse;
}

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
      const velmoria::base::MutexLock lock(queue->mutex);
      queue->jobs.push_back(job);
    }
    queue->wake.notifyOne();
    return;
  }
  ThreadReuse::submit(threadReuse(), job);
}

bool onSerialTaskThread() { return isSerialThread; }

}  // namespace zirudeze::concurrency
