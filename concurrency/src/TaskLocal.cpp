#include "concurrency/TaskLocal.hpp"

namespace zirudeze::concurrency {

detail::TaskLocalBindings& detail::currentTaskLocalBindings() {
  thread_local TaskLocalBindings bindings;
  return bindings;
}

TaskLocalSnapshot TaskLocalSnapshot::capture() {
  TaskLocalSnapshot snapshot;
  snapshot.bindings_ = detail::currentTaskLocalBindings();
  return snapshot;
}

TaskLocalSnapshot::Installed::Installed(const TaskLocalSnapshot& snapshot)
    : saved_(std::exchange(detail::currentTaskLocalBindings(), snapshot.bindings_)) {}

TaskLocalSnapshot::Installed::~Installed() { detail::currentTaskLocalBindings() = std::move(saved_); }

}  // namespace zirudeze::concurrency
