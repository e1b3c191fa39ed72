#pragma once

#include <map>
#include <memory>
#include <utility>

namespace zirudeze::concurrency::detail {
// The bindings visible on this thread: one entry per task-local that has a binding, holding its
// innermost value. Outer bindings live in the scopes that replaced them.
using TaskLocalBindings = std::map<const void*, std::shared_ptr<const void>>;
TaskLocalBindings& currentTaskLocalBindings();
}  // namespace zirudeze::concurrency::detail

namespace zirudeze::concurrency {

// The task-local bindings of one thread, captured when a task is started and installed in it, so a
// task sees the values its creator had bound. Threads not started through Task see only defaults.
class TaskLocalSnapshot {
 public:
  static TaskLocalSnapshot capture();

  // Replaces this thread's bindings with the snapshot until the returned scope ends.
  class Installed {
   public:
    explicit Installed(const TaskLocalSnapshot& snapshot);
    ~Installed();
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

   private:
    detail::TaskLocalBindings saved_;
  };

 private:
  detail::TaskLocalBindings bindings_;
};

// A value with a process-wide default that a scope may rebind for its thread and the tasks it starts.
// Declare task-locals with static storage duration.
template <class T>
class TaskLocal {
 public:
  explicit TaskLocal(T defaultValue) : default_(std::move(defaultValue)) {}
  TaskLocal(const TaskLocal&) = delete;
  TaskLocal& operator=(const TaskLocal&) = delete;

  // The innermost binding of this thread, else the default. The reference stays valid while the
  // binding's scope lasts.
  const T& get() const {
    const auto& bindings = detail::currentTaskLocalBindings();
    const auto found = bindings.find(this);
    if (found == bindings.end()) return default_;
    return *static_cast<const T*>(found->second.get());
  }
  const T& operator()() const { return get(); }

  // Binds `value` while `body` runs; the previous binding comes back on every path.
  template <class Body>
  decltype(auto) withValue(T value, Body&& body) const {
    Scope scope(*this, std::move(value));
    return std::forward<Body>(body)();
  }

 private:
  class Scope {
   public:
    Scope(const TaskLocal& slot, T value) : key_(&slot) {
      auto& bindings = detail::currentTaskLocalBindings();
      auto& entry = bindings[key_];
      previous_ = std::move(entry);
      entry = std::make_shared<const T>(std::move(value));
    }
    ~Scope() {
      auto& bindings = detail::currentTaskLocalBindings();
      if (previous_) {
        bindings[key_] = std::move(previous_);
      } else {
        bindings.erase(key_);
      }
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    const void* key_;
    std::shared_ptr<const void> previous_;
  };

  T default_;
};

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
