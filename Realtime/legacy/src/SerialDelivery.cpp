#include "SerialDelivery.hpp"

#include <concurrency/TaskExecutor.hpp>

namespace zirudeze::realtime {

void SerialDelivery::post(std::function<void()> work) {
  {
    base::MutexLock lock(mutex_);
    queue_.push_back(std::move(work));
    if (draining_) return;
    draining_ = true;
  }
  helpers::submitTaskJob(std::make_shared<helpers::TaskJob>([self = shared_from_this()] { self->drain(); }));
}

void SerialDelivery::drain() {
  for (;;) {
    std::function<void()> work;
    {
      base::MutexLock lock(mutex_);
      if (queue_.empty()) {
        draining_ = false;
        return;
      }
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      work();
    } catch (...) {
    }
  }
}

}  // namespace zirudeze::realtime
