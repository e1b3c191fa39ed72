#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "base/ThreadSafety.hpp"

namespace zirudeze::realtime {

// Runs work one piece at a time, in order: posted work on the task threads (never the caller's, never
// the I/O thread), or work a caller claimed on its own thread first. Work that throws is reported and
// dropped.
class SerialDelivery : public std::enable_shared_from_this<SerialDelivery> {
 public:
  void post(std::function<void()> work);

  // Queues `work` for whoever runs the queue next: a claim, or a post.
  void add(std::function<void()> work);
  // When nothing runs and work waits: the queue is the caller's to run (runClaimed), and this is how
  // much waits.
  std::optional<std::size_t> claim();
  // Runs `count` pieces on the calling thread, then hands what else waits to a task thread.
  void runClaimed(std::size_t count);

  // True on a thread while it runs a delivery's work.
  static bool delivering() noexcept;

 private:
  void handOff();
  void drain();
  // The next piece; none, and nothing runs any more, once the queue is empty.
  std::function<void()> next();

  velmoria::base::Mutex mutex_;
  std::deque<std::function<void()>> queue_ VM_GUARDED_BY(mutex_);
  bool draining_ VM_GUARDED_BY(mutex_) = false;
};

}  // namespace zirudeze::realtime
