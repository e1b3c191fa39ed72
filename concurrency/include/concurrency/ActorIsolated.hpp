#pragma once

#include <functional>
#include <type_traits>
#include <utility>

#include "base/ThreadSafety.hpp"

namespace zirudeze::concurrency {

// A value whose every access is serialised, the way an actor serialises its members. Unlike
// LockIsolated it also offers a plain setter.
template <class Value>
class ActorIsolated {
 public:
  explicit ActorIsolated(Value value) : value_(std::move(value)) {}

  template <class Producer>
  requires(std::is_invocable_r_v<Value, Producer> &&
           !std::is_same_v<std::decay_t<Producer>, Value>) explicit ActorIsolated(Producer&& producer)
      : value_(std::forward<Producer>(producer)()) {}

  ActorIsolated(const ActorIsolated&) = delete;
  ActorIsolated& operator=(const ActorIsolated&) = delete;

  Value value() const {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    return value_;
  }

  void setValue(Value newValue) {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    value_ = std::move(newValue);
  }

  template <class Producer>
  requires(std::is_invocable_r_v<Value, Producer> &&
           !std::is_same_v<std::decay_t<Producer>, Value>) void setValue(Producer&& producer) {
    const velmoria::base::RecursiveMutexLock guard(lock_);
    value_ = std::invoke(std::forward<Producer>(producer));
  }

  // Works on a copy that is written back also when the operation throws.
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

 private:
  Value value_ VM_GUARDED_BY(lock_);
  mutable velmoria::base::RecursiveMutex lock_;
};

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
