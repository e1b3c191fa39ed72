#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "base/ThreadSafety.hpp"

namespace zirudeze::realtime {

// Runs posted work one piece at a time, in order, on the task threads (never the caller's, never
// the I/O thread). Work that throws is dropped with its exception.
class SerialDelivery : public std::enable_shared_from_this<SerialDelivery> {
 public:
  void post(std::function<void()> work);

  // For work about to wait on what is posted after it: when the calling thread runs a delivery's work,
  // the rest of that delivery goes on on another thread, and this one leaves it once its work returns.
  // Elsewhere it does nothing.
  static void handOffCurrent();

 private:
  void drain(std::uint64_t turn);
  void handOff(std::uint64_t turn);

  velmoria::base::Mutex mutex_;
  std::deque<std::function<void()>> queue_ VM_GUARDED_BY(mutex_);
  bool draining_ VM_GUARDED_BY(mutex_) = false;
  // Which drain runs the queue; a drain that handed off finds it moved on and stops.
  std::uint64_t turn_ VM_GUARDED_BY(mutex_) = 0;
};

}  // namespace zirudeze::realtime
