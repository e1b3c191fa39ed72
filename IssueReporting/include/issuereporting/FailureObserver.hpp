#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "base/ThreadSafety.hpp"
#include "concurrency/TaskLocal.hpp"

namespace zirudeze::issuereporting {

// Counts the issues reported while it is bound; those issues are expected rather than failures.
class FailureObserver {
 public:
  explicit FailureObserver(std::int64_t count = 0) : count_(count) {}

  template <class Body>
  decltype(auto) withLock(Body&& body) {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    return std::forward<Body>(body)(count_);
  }

  static std::shared_ptr<FailureObserver> current();

  template <class Operation>
  static decltype(auto) withCurrent(std::shared_ptr<FailureObserver> observer, Operation&& operation) {
    return slot().withValue(std::move(observer), std::forward<Operation>(operation));
  }

 private:
  static const concurrency::TaskLocal<std::shared_ptr<FailureObserver>>& slot();

  velmoria::base::RecursiveMutex mutex_;
  std::int64_t count_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::issuereporting
