#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace velmoria::base {

// A process-wide value that is built on first use and never destroyed. Detached worker threads may
// still reach it while the static destructors run at exit; a destroyed registry would hand them freed
// memory.
template <class T>
class Immortal {
 public:
  template <class... Args>
  explicit Immortal(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  Immortal(const Immortal&) = delete;
  Immortal& operator=(const Immortal&) = delete;
  ~Immortal() = default;

  T& get() noexcept { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() noexcept { return &get(); }
  T& operator*() noexcept { return get(); }

 private:
  alignas(T) std::byte storage_[sizeof(T)];
};

}  // namespace velmoria::base
