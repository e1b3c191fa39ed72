#pragma once

#include <memory>

#include "base/ThreadSafety.hpp"

namespace velmoria::filter {

// One immutable value that a writer replaces whole while readers on other threads take it: each
// reader gets either the old or the new value, never a half-built one, and keeps it alive while it
// uses it. (libstdc++ 12's std::atomic<std::shared_ptr> unlocks with relaxed order after a load,
// which is a formal data race; a short lock around the pointer copy is not.)
template <typename T>
class SharedSnapshot {
 public:
  explicit SharedSnapshot(std::shared_ptr<const T> value) : value_(std::move(value)) {}

  std::shared_ptr<const T> load() const {
    const base::MutexLock lock(mutex_);
    return value_;
  }

  void store(std::shared_ptr<const T> value) {
    {
      const base::MutexLock lock(mutex_);
      value_.swap(value);
    }
    // The old value, if this was its last holder, is freed here, outside the lock.
  }

 private:
  mutable base::Mutex mutex_;
  std::shared_ptr<const T> value_ VM_GUARDED_BY(mutex_);
};

}  // namespace velmoria::filter
