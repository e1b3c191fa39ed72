#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "realtime/legacy/TimerQueue.hpp"

namespace zirudeze::realtime {

// The legacy socket's repeating heartbeat: first tick after the interval, then one each interval, on a
// timer queue. Owned and driven under its socket's mutex, which its ticks hold too.
class HeartbeatTimer {
 public:
  HeartbeatTimer(double timeInterval, std::chrono::nanoseconds leeway, std::shared_ptr<TimerQueue> queue,
                 std::shared_ptr<SocketMutex> guard = nullptr);
  ~HeartbeatTimer();
  HeartbeatTimer(const HeartbeatTimer&) = delete;
  HeartbeatTimer& operator=(const HeartbeatTimer&) = delete;

  double timeInterval() const noexcept { return timeInterval_; }
  // Kept for what it says; ticks of this queue come at their deadlines.
  std::chrono::nanoseconds leeway() const noexcept { return leeway_; }
  const std::string& uuid() const noexcept { return uuid_; }
  bool isRunning() const noexcept { return static_cast<bool>(timer_); }

  // Replaces any running timer.
  void start(std::function<void()> eventHandler);
  // No tick runs after this returns (the ticks hold the same guard as the caller).
  void stop();

  friend bool operator==(const HeartbeatTimer& a, const HeartbeatTimer& b) { return a.uuid_ == b.uuid_; }

 private:
  double timeInterval_;
  std::chrono::nanoseconds leeway_;
  std::shared_ptr<TimerQueue> queue_;
  std::shared_ptr<SocketMutex> guard_;
  std::string uuid_;
  std::shared_ptr<WorkItem> timer_;
};

}  // namespace zirudeze::realtime
