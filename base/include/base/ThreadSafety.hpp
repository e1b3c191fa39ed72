#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

// Clang's thread-safety analysis (-Wthread-safety): members say which mutex guards them, functions
// say which mutex they need, and the compiler checks every access. Other compilers see nothing.
#if defined(__clang__)
#define VM_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VM_THREAD_ANNOTATION(x)
#endif

#define VM_CAPABILITY(name) VM_THREAD_ANNOTATION(capability(name))
#define VM_SCOPED_CAPABILITY VM_THREAD_ANNOTATION(scoped_lockable)
#define VM_GUARDED_BY(mutex) VM_THREAD_ANNOTATION(guarded_by(mutex))
#define VM_PT_GUARDED_BY(mutex) VM_THREAD_ANNOTATION(pt_guarded_by(mutex))
#define VM_REQUIRES(...) VM_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VM_ACQUIRE(...) VM_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VM_RELEASE(...) VM_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VM_TRY_ACQUIRE(...) VM_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define VM_EXCLUDES(...) VM_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define VM_NO_THREAD_SAFETY_ANALYSIS VM_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace velmoria::base {

template <class Native>
class BasicConditionVariable;

// A standard mutex the analysis knows as a capability.
template <class Native>
class VM_CAPABILITY("mutex") BasicMutex {
 public:
  BasicMutex() = default;
  BasicMutex(const BasicMutex&) = delete;
  BasicMutex& operator=(const BasicMutex&) = delete;

  void lock() VM_ACQUIRE() { mutex_.lock(); }
  void unlock() VM_RELEASE() { mutex_.unlock(); }
  bool try_lock() VM_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  template <class>
  friend class BasicConditionVariable;
  Native mutex_;
};

using Mutex = BasicMutex<std::mutex>;
// For state whose callbacks may come back into it on the same thread.
using RecursiveMutex = BasicMutex<std::recursive_mutex>;

// Holds a mutex for its scope.
template <class Lockable>
class VM_SCOPED_CAPABILITY BasicMutexLock {
 public:
  explicit BasicMutexLock(Lockable& mutex) VM_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~BasicMutexLock() VM_RELEASE() { mutex_.unlock(); }
  BasicMutexLock(const BasicMutexLock&) = delete;
  BasicMutexLock& operator=(const BasicMutexLock&) = delete;

 private:
  template <class>
  friend class BasicConditionVariable;
  Lockable& mutex_;
};

using MutexLock = BasicMutexLock<Mutex>;
using RecursiveMutexLock = BasicMutexLock<RecursiveMutex>;

// Waits on a MutexLock. The lock is released while waiting and held again when a wait returns, so
// predicates read guarded members: annotate them, e.g. [&]() VM_REQUIRES(mutex_) { return ready_; }.
template <class Native>
class BasicConditionVariable {
 public:
  void notifyOne() noexcept { condition_.notify_one(); }
  void notifyAll() noexcept { condition_.notify_all(); }

  template <class Predicate>
  void wait(MutexLock& lock, Predicate ready) VM_NO_THREAD_SAFETY_ANALYSIS {
    Adopted adopted(lock);
    condition_.wait(adopted.native, std::move(ready));
  }

  // False when the stop request came first.
  template <class Predicate>
  bool wait(MutexLock& lock, std::stop_token stop, Predicate ready) VM_NO_THREAD_SAFETY_ANALYSIS {
    Adopted adopted(lock);
    return condition_.wait(adopted.native, std::move(stop), std::move(ready));
  }

  // False when the deadline came first.
  template <class Clock, class Duration, class Predicate>
  bool waitUntil(MutexLock& lock, const std::chrono::time_point<Clock, Duration>& deadline,
                 Predicate ready) VM_NO_THREAD_SAFETY_ANALYSIS {
    Adopted adopted(lock);
    return condition_.wait_until(adopted.native, deadline, std::move(ready));
  }

  // False when the time limit came first.
  template <class Rep, class Period, class Predicate>
  bool waitFor(MutexLock& lock, const std::chrono::duration<Rep, Period>& limit,
               Predicate ready) VM_NO_THREAD_SAFETY_ANALYSIS {
    Adopted adopted(lock);
    return condition_.wait_for(adopted.native, limit, std::move(ready));
  }

  // False when the stop request or the time limit came first.
  template <class Rep, class Period, class Predicate>
  bool waitFor(MutexLock& lock, std::stop_token stop, const std::chrono::duration<Rep, Period>& limit,
               Predicate ready) VM_NO_THREAD_SAFETY_ANALYSIS {
    Adopted adopted(lock);
    return condition_.wait_for(adopted.native, std::move(stop), limit, std::move(ready));
  }

 private:
  // The already held mutex as the standard waits want it; handed back held, even when a predicate throws.
  struct Adopted {
    explicit Adopted(MutexLock& lock) : native(lock.mutex_.mutex_, std::adopt_lock) {}
    ~Adopted() { native.release(); }
    Adopted(const Adopted&) = delete;
    Adopted& operator=(const Adopted&) = delete;
    std::unique_lock<std::mutex> native;
  };

  Native condition_;
};

using ConditionVariable = BasicConditionVariable<std::condition_variable_any>;
// Without the waits that also end on a stop request; cheaper to wait on and to wake, for hot paths.
using PlainConditionVariable = BasicConditionVariable<std::condition_variable>;

}  // namespace velmoria::base
