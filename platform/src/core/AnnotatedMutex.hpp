#pragma once

#include <mutex>

// A mutex clang's thread-safety analysis understands, so members it guards can say so.
#if defined(__clang__)
#define PLATFORM_CAPABILITY(x) __attribute__((capability(x)))
#define PLATFORM_SCOPED_CAPABILITY __attribute__((scoped_lockable))
#define PLATFORM_GUARDED_BY(x) __attribute__((guarded_by(x)))
#define PLATFORM_ACQUIRE(...) __attribute__((acquire_capability(__VA_ARGS__)))
#define PLATFORM_RELEASE(...) __attribute__((release_capability(__VA_ARGS__)))
#define PLATFORM_REQUIRES(...) __attribute__((requires_capability(__VA_ARGS__)))
#else
#define PLATFORM_CAPABILITY(x)
#define PLATFORM_SCOPED_CAPABILITY
#define PLATFORM_GUARDED_BY(x)
#define PLATFORM_ACQUIRE(...)
#define PLATFORM_RELEASE(...)
#define PLATFORM_REQUIRES(...)
#endif

namespace platform::detail {

class PLATFORM_CAPABILITY("mutex") AnnotatedMutex {
 public:
  void lock() PLATFORM_ACQUIRE() { mutex_.lock(); }
  void unlock() PLATFORM_RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

class PLATFORM_SCOPED_CAPABILITY AnnotatedLock {
 public:
  explicit AnnotatedLock(AnnotatedMutex& mutex) PLATFORM_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~AnnotatedLock() PLATFORM_RELEASE() { mutex_.unlock(); }
  AnnotatedLock(const AnnotatedLock&) = delete;
  AnnotatedLock& operator=(const AnnotatedLock&) = delete;

 private:
  AnnotatedMutex& mutex_;
};

}  // namespace platform::detail
