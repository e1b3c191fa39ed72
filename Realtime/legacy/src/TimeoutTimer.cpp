#include "realtime/legacy/TimeoutTimer.hpp"

#include "SocketMutex.hpp"

namespace zirudeze::realtime {

TimeoutTimer::TimeoutTimer(std::shared_ptr<TimerQueue> queue, std::shared_ptr<SocketMutex> guard)
    : queue_(std::move(queue)), guard_(std::move(guard)) {}

TimeoutTimer::~TimeoutTimer() {
  if (!workItem_) return;
  if (!guard_) {
    workItem_->cancel();
    return;
  }
  // Work that already waits for the guard finds itself cancelled and leaves this timer alone.
  SocketLock lock(*guard_);
  workItem_->cancel();
}

void TimeoutTimer::reset() {
  tries_ = 0;
  if (workItem_) workItem_->cancel();
  workItem_.reset();
}

void TimeoutTimer::scheduleTimeout() {
  if (workItem_) workItem_->cancel();
  workItem_.reset();
  const int tryNumber = tries_ + 1;
  const std::optional<std::optional<double>> delay = timerCalculation.call(tryNumber);
  if (!delay || !*delay) return;
  // Cancelled under the guard before this timer goes, so the work never outlives it.
  workItem_ = std::make_shared<WorkItem>([this] { fire(); }, guard_);
  queue_->queue(**delay, workItem_);
}

void TimeoutTimer::fire() {
  ++tries_;
  // A copy: the callback may end this timer's owner, and with it this timer.
  const Delegated<void()> run = callback;
  run.call();
}

}  // namespace zirudeze::realtime
