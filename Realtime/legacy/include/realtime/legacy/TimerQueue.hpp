#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "clocks/Clock.hpp"

namespace zirudeze::realtime {

class SocketMutex;

// Work a TimerQueue runs at its deadline. A cancelled item never runs again and lets go of its work at
// once. With a guard the work runs holding it and looks at the cancellation there, so an item cancelled
// by a holder of the guard never runs afterwards, even when its deadline had already come.
class WorkItem {
 public:
  explicit WorkItem(std::function<void()> work, std::shared_ptr<SocketMutex> guard = nullptr);
  ~WorkItem();
  WorkItem(const WorkItem&) = delete;
  WorkItem& operator=(const WorkItem&) = delete;

  void cancel();
  bool isCancelled() const noexcept;
  // Runs the work once, unless it was cancelled.
  void perform();

 private:
  friend class TimerQueue;
  void run(bool keepWork);

  struct State;
  std::unique_ptr<State> state_;
};

// Runs work items on a timer thread of its own at deadlines of a clock. main() is the process-wide queue,
// on the suspending clock; a test puts a queue of its own there (ScopedOverride) to drive the deadlines.
class TimerQueue {
 public:
  explicit TimerQueue(std::shared_ptr<const clocks::Clock> clock);
  // Ends the timer thread; work still waiting is dropped.
  ~TimerQueue();
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  static std::shared_ptr<TimerQueue> main();

  const std::shared_ptr<const clocks::Clock>& clock() const noexcept;

  // Runs `item` once at now + `interval` seconds, taken as whole milliseconds.
  void queue(double interval, std::shared_ptr<WorkItem> item);
  // Runs `item` after `interval` and then every `interval` until it is cancelled.
  void queueRepeating(double interval, std::shared_ptr<WorkItem> item);

  // Seconds as whole milliseconds, halves away from zero (0.0005 is 1, 0.0004 is 0); never negative.
  static std::int64_t wholeMilliseconds(double interval) noexcept;

  // Items waiting that were not cancelled.
  std::size_t pendingCount() const;
  // True when no work is running or due and the timer thread waits for the earliest deadline (tests wait
  // for this around clock advances).
  bool isSettled() const;
  // Stops the thread and drops what waits; later items are dropped too.
  void shutdown();

  // Makes main() a new queue on `clock` for the scope (a test's), and shuts that queue down at its end.
  class ScopedOverride {
   public:
    explicit ScopedOverride(std::shared_ptr<const clocks::Clock> clock);
    ~ScopedOverride();
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

    const std::shared_ptr<TimerQueue>& queue() const noexcept { return queue_; }

   private:
    std::shared_ptr<TimerQueue> queue_;
  };

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace zirudeze::realtime
