#pragma once

#include <memory>
#include <optional>

#include "realtime/legacy/Delegated.hpp"
#include "realtime/legacy/TimerQueue.hpp"

namespace zirudeze::realtime {

// A one-shot retry scheduler whose delay grows with the number of tries: the socket's reconnects and each
// channel's rejoins. Not locked itself: its owner drives it under the socket's mutex (the guard), which
// its work and its destructor hold too, so a timer may go while its work waits.
class TimeoutTimer {
 public:
  explicit TimeoutTimer(std::shared_ptr<TimerQueue> queue = TimerQueue::main(),
                        std::shared_ptr<SocketMutex> guard = nullptr);
  ~TimeoutTimer();
  TimeoutTimer(const TimeoutTimer&) = delete;
  TimeoutTimer& operator=(const TimeoutTimer&) = delete;

  // Run when the scheduled work fires, after the tries went up.
  Delegated<void()> callback;
  // The delay in seconds for try n (from 1); nothing schedules nothing.
  Delegated<std::optional<double>(int)> timerCalculation;

  int tries() const noexcept { return tries_; }
  const std::shared_ptr<TimerQueue>& queue() const noexcept { return queue_; }

  // Back to try 1; the scheduled work is cancelled.
  void reset();
  // Cancels the scheduled work and schedules try tries + 1 after its delay.
  void scheduleTimeout();

 private:
  void fire();

  std::shared_ptr<TimerQueue> queue_;
  std::shared_ptr<SocketMutex> guard_;
  std::shared_ptr<WorkItem> workItem_;
  int tries_ = 0;
};

}  // namespace zirudeze::realtime
