#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "base/ThreadSafety.hpp"

namespace zirudeze::realtime {

// The one recursive mutex of a legacy socket, shared with its channels, pushes, presence and timer work:
// transport reports, timer work and callers' calls each run holding it. It knows its holder, so a call
// that waits for a delivery from inside a callback can let go of it meanwhile (Released).
class VM_CAPABILITY("mutex") SocketMutex {
 public:
  class Released;

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

  // Lets go of every level the calling thread holds (none when it holds none); relock takes as many
  // back.
  int unlockAll() VM_NO_THREAD_SAFETY_ANALYSIS {
    if (!heldByCurrentThread()) return 0;
    const int levels = depth_;
    depth_ = 0;
    holder_.store(std::thread::id(), std::memory_order_relaxed);
    for (int level = 0; level < levels; ++level) mutex_.unlock();
    return levels;
  }
  void relock(int levels) VM_NO_THREAD_SAFETY_ANALYSIS {
    for (int level = 0; level < levels; ++level) lock();
  }

 private:
  std::recursive_mutex mutex_;
  int depth_ = 0;
  std::atomic<std::thread::id> holder_{};
};

// For a scope that waits on other contexts of the socket: the calling thread holds none of the mutex's
// levels meanwhile, and all of them again afterwards. Whoever holds it around this scope must expect the
// socket's state to have moved on, as after any call out of it.
class SocketMutex::Released {
 public:
  explicit Released(SocketMutex& mutex) : mutex_(mutex), levels_(mutex.unlockAll()) {}
  ~Released() { mutex_.relock(levels_); }
  Released(const Released&) = delete;
  Released& operator=(const Released&) = delete;

 private:
  SocketMutex& mutex_;
  const int levels_;
};

using SocketLock = velmoria::base::BasicMutexLock<SocketMutex>;

}  // namespace zirudeze::realtime
