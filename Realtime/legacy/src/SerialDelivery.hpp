#pragma once

#include <base/ThreadSafety.hpp>
#include <deque>
#include <functional>
#include <memory>

namespace zirudeze::realtime {

// Runs posted work one piece at a time, in order, on the task threads (never the caller's, never
// the I/O thread). Work that throws is dropped with its exception.
class SerialDelivery : public std::enable_shared_from_this<SerialDelivery> {
 public:
  void post(std::function<void()> work);

 private:
  void drain();

  base::Mutex mutex_;
  std::deque<std::function<void()>> queue_ VM_GUARDED_BY(mutex_);
  bool draining_ VM_GUARDED_BY(mutex_) = false;
};

}  // namespace zirudeze::realtime
