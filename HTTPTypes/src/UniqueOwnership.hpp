#pragma once

#include <atomic>
#include <memory>

#if defined(__SANITIZE_THREAD__)
#define VM_HTTP_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VM_HTTP_THREAD_SANITIZER 1
#endif
#endif

namespace zirudeze::http::detail {

// True when this pointer is the storage's only owner, so it may be changed in place. The fence pairs with
// the release of the last other owner letting go (use_count is a relaxed read). ThreadSanitizer cannot
// model fences and rejects them; it sees the reference count's own ordering instead.
template <typename T>
[[nodiscard]] bool isUniquelyOwned(const std::shared_ptr<T>& pointer) noexcept {
  if (pointer.use_count() != 1) return false;
#ifndef VM_HTTP_THREAD_SANITIZER
  std::atomic_thread_fence(std::memory_order_acquire);
#endif
  return true;
}

}  // namespace zirudeze::http::detail
