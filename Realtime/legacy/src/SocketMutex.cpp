#include "SocketMutex.hpp"

namespace zirudeze::realtime {

void SocketMutex::lock() {
  mutex_.lock();
  if (depth_++ == 0) holder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void SocketMutex::unlock() {
  if (depth_ > 1) {
    --depth_;
    return mutex_.unlock();
  }
  depth_ = 0;
  holder_.store(std::thread::id(), std::memory_order_relaxed);
  // Claimed while still held: no other thread can call out in between and find nobody running. Nobody
  // ran, so what waits is this thread's own.
  std::optional<std::size_t> claimed;
  if (std::exchange(calledOut_, false)) claimed = callbacks_->claim();
  const auto callbacks = callbacks_;
  const bool delivering = SerialDelivery::delivering();
  mutex_.unlock();
  if (claimed) callbacks->runClaimed(delivering ? 0 : *claimed);
}

bool SocketMutex::heldByCurrentThread() const noexcept {
  return holder_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void SocketMutex::callOut(std::function<void()> callback) {
  SocketLock lock(*this);
  calledOut_ = true;
  callbacks_->add(std::move(callback));
}

}  // namespace zirudeze::realtime
