#pragma once

#include <mutex>

// Clang's thread-safety analysis (-Wthread-safety): members say which mutex guards them, functions
// which mutex they need. Other compilers see nothing.
#if defined(__clang__)
#define ZD_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZD_THREAD_ANNOTATION(x)
#endif

#define ZD_CAPABILITY(name) ZD_THREAD_ANNOTATION(capability(name))
#define ZD_SCOPED_CAPABILITY ZD_THREAD_ANNOTATION(scoped_lockable)
#define ZD_GUARDED_BY(mutex) ZD_THREAD_ANNOTATION(guarded_by(mutex))
#define ZD_REQUIRES(...) ZD_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ZD_EXCLUDES(...) ZD_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ZD_ACQUIRE(...) ZD_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ZD_RELEASE(...) ZD_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ZD_TRY_ACQUIRE(...) ZD_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))

namespace zirudeze::helpers {

// A standard mutex the analysis knows as a capability. Lockable, so it works with
// std::condition_variable_any and std::unique_lock.
template <class Native>
class ZD_CAPABILITY("mutex") AnnotatedMutex {
 public:
  void lock() ZD_ACQUIRE() { native_.lock(); }
  void unlock() ZD_RELEASE() { native_.unlock(); }
  bool try_lock() ZD_TRY_ACQUIRE(true) { return native_.try_lock(); }

 private:
  Native native_;
};

using Mutex = AnnotatedMutex<std::mutex>;
using RecursiveMutex = AnnotatedMutex<std::recursive_mutex>;

// Holds a mutex for the rest of the scope.
template <class M>
class ZD_SCOPED_CAPABILITY Locked {
 public:
  explicit Locked(M& mutex) ZD_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~Locked() ZD_RELEASE() { mutex_.unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  M& mutex_;
};

}  // namespace zirudeze::helpers
