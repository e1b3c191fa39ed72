#pragma once

#include <functional>
#include <mutex>
#include <type_traits>
#include <utility>

#include "base/ThreadSafety.hpp"

namespace zirudeze::concurrency {

// Runs `body` while `lock` is held; the lock is released on every path, also when `body` throws.
template <class Lock, class Body>
decltype(auto) withLock(Lock& lock, Body&& body) {
  std::lock_guard guard(lock);
  return std::forward<Body>(body)();
}

// A value that is only read or changed under its own recursive lock. Reads hand out copies, so nothing
// of the guarded value escapes the lock except by copy. Share it through a std::shared_ptr when several
// owners need the same instance.
template <class Value>
class LockIsolated {
 public:
  explicit LockIsolated(Value value) : value_(std::move(value)) {}

  // Builds the value from a producer; a throwing producer leaves nothing behind.
  template <class Producer>
  requires(std::is_invocable_r_v<Value, Producer> &&
           !std::is_same_v<std::decay_t<Producer>, Value>) explicit LockIsolated(Producer&& producer)
      : value_(std::forward<Producer>(producer)()) {}

  LockIsolated(const LockIsolated&) = delete;
  LockIsolated& operator=(const LockIsolated&) = delete;

  Value value() const {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    return value_;
  }

  // The operation works on a copy that is written back afterwards, also when it throws; the lock is
  // recursive, so the operation may use this object again from the same thread.
  template <class Operation>
  decltype(auto) withValue(Operation&& operation) {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    Value local = value_;
    struct WriteBack {
      Value& target;
      Value& source;
      ~WriteBack() { target = std::move(source); }
    } writeBack{value_, local};
    return std::invoke(std::forward<Operation>(operation), local);
  }

  // Stores the producer's result; a throwing producer leaves the old value.
  template <class Producer>
  requires(std::is_invocable_r_v<Value, Producer> &&
           !std::is_same_v<std::decay_t<Producer>, Value>) void setValue(Producer&& producer) {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    value_ = std::invoke(std::forward<Producer>(producer));
  }

  void setValue(Value newValue) {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    value_ = std::move(newValue);
  }

  // Reads one member of the guarded value (the key-path read).
  template <class Member, class V = Value>
  Member operator[](Member V::*member) const {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    return value_.*member;
  }

 private:
  Value value_ VM_GUARDED_BY(lock_);
  mutable velmoria::base::RecursiveMutex lock_;
};

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
