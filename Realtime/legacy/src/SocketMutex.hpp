#pragma once

#include <atomic>
#include <base/ThreadSafety.hpp>
#include <mutex>
#include <thread>

namespace zirudeze::realtime {

// The one recursive mutex of a legacy socket, shared with its channels, pushes, presence and timer work:
// transport reports, timer work and callers' calls each run holding it. It knows its holder, so a call
// that would wait for a delivery while holding it (made from a callback) can refuse instead.
class VM_CAPABILITY("mutex") SocketMutex {
 public:
  void lock() VM_ACQUIRE() {
    mutex_.lock();
    if (depth_++ == 0) holder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  void unlock() VM_RELEASE() {
    if (--depth_ == 0) holder_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  // Only the holder can see itself here, so relaxed loads suffice.
  bool heldByCurrentThread() const noexcept {
    return holder_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::recursive_mutex mutex_;
  int depth_ = 0;
  std::atomic<std::thread::id> holder_{};
};

using SocketLock = base::BasicMutexLock<SocketMutex>;

}  // namespace zirudeze::realtime
