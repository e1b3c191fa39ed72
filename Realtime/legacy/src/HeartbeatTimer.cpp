#include "realtime/legacy/HeartbeatTimer.hpp"

#include "SocketMutex.hpp"
#include "base/UUID.hpp"

namespace zirudeze::realtime {

HeartbeatTimer::HeartbeatTimer(double timeInterval, std::chrono::nanoseconds leeway, std::shared_ptr<TimerQueue> queue,
                               std::shared_ptr<SocketMutex> guard)
    : timeInterval_(timeInterval),
      leeway_(leeway),
      queue_(std::move(queue)),
      guard_(std::move(guard)),
      uuid_(velmoria::base::UUID::random().uuidString()) {}

HeartbeatTimer::~HeartbeatTimer() {
  if (timer_) timer_->cancel();
}

void HeartbeatTimer::start(std::function<void()> eventHandler) {
  stop();
  timer_ = std::make_shared<WorkItem>(std::move(eventHandler), guard_);
  queue_->queueRepeating(timeInterval_, timer_);
}

void HeartbeatTimer::stop() {
  if (!timer_) return;
  timer_->cancel();
  timer_.reset();
}

}  // namespace zirudeze::realtime
