#include "SerialDelivery.hpp"

#include "concurrency/TaskExecutor.hpp"

namespace zirudeze::realtime {

namespace {

// The delivery whose work the current thread runs, and the turn it runs it in.
struct Running {
  SerialDelivery* delivery = nullptr;
  std::uint64_t turn = 0;
};

thread_local Running running;

}  // namespace

void SerialDelivery::post(std::function<void()> work) {
  std::uint64_t turn = 0;
  {
    velmoria::base::MutexLock lock(mutex_);
    queue_.push_back(std::move(work));
    if (draining_) return;
    draining_ = true;
    turn = turn_;
  }
  concurrency::submitTaskJob(
      std::make_shared<concurrency::TaskJob>([self = shared_from_this(), turn] { self->drain(turn); }));
}

void SerialDelivery::handOffCurrent() {
  if (running.delivery) running.delivery->handOff(running.turn);
}

void SerialDelivery::handOff(std::uint64_t turn) {
  std::uint64_t next = 0;
  {
    velmoria::base::MutexLock lock(mutex_);
    if (turn_ != turn) return;
    next = ++turn_;
    if (queue_.empty()) {
      draining_ = false;
      return;
    }
  }
  concurrency::submitTaskJob(
      std::make_shared<concurrency::TaskJob>([self = shared_from_this(), next] { self->drain(next); }));
}

void SerialDelivery::drain(std::uint64_t turn) {
  const Running outer = running;
  for (;;) {
    std::function<void()> work;
    {
      velmoria::base::MutexLock lock(mutex_);
      if (turn_ != turn) break;
      if (queue_.empty()) {
        draining_ = false;
        break;
      }
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    running = Running{this, turn};
    try {
      work();
    } catch (...) {
    }
    running = outer;
  }
}

}  // namespace zirudeze::realtime
