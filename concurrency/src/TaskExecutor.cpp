#include "concurrency/TaskExecutor.hpp"

#include <chrono>
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

// Threads that finished a task wait a while for the next one, so a burst of short tasks does not pay
// for a new thread each. A task may block for as long as it likes: when no thread is idle, a new one
// starts, so tasks never wait for each other.
struct ThreadReuse {
  static constexpr auto idleLifetime = std::chrono::seconds(2);

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::shared_ptr<TaskJob>> jobs;
  std::size_t idle = 0;

  static void submit(const std::shared_ptr<ThreadReuse>& reuse, std::shared_ptr<TaskJob> job) {
    {
      std::lock_guard lock(reuse->mutex);
      reuse->jobs.push_back(std::move(job));
      if (reuse->jobs.size() <= reuse->idle) {
        reuse->wake.notify_one();
        return;
      }
    }
    std::thread(&ThreadReuse::work, reuse).detach();
  }

  static void work(const std::shared_ptr<ThreadReuse>& reuse) {
    std::unique_lock lock(reuse->mutex);
    for (;;) {
      while (reuse->jobs.empty()) {
        ++reuse->idle;
        const bool woken = reuse->wake.wait_for(lock, idleLifetime, [&] { return !reuse->jobs.empty(); });
        --reuse->idle;
        if (!woken) return;
      }
      auto job = std::move(reuse->jobs.front());
      reuse->jobs.pop_front();
      lock.unlock();
      job->tryRun();
      job.reset();
      lock.lock();
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
      std::lock_guard lock(queue->mutex);
      queue->jobs.push_back(job);
    }
    queue->wake.notify_one();
    return;
  }
  ThreadReuse::submit(threadReuse(), job);
}

bool onSerialTaskThread() { return isSerialThread; }

}  // namespace zirudeze::helpers
