#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/Check.hpp"
#include "concurrency/AsyncStream.hpp"
#include "concurrency/CurrentTask.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/Task.hpp"

namespace zirudeze::helpers {

// Holds a current value and broadcasts each new one to any number of consumer streams; every stream
// starts with the value current when it was made. Finishing (also by the subject going away) ends all
// streams; later values are ignored.
template <class Value>
class AsyncValueSubject {
 public:
  explicit AsyncValueSubject(Value initialValue, BufferingPolicy bufferingPolicy = BufferingPolicy::unbounded())
      : shared_(std::make_shared<Shared>(std::move(initialValue), bufferingPolicy)) {}

  ~AsyncValueSubject() { finish(); }
  AsyncValueSubject(const AsyncValueSubject&) = delete;
  AsyncValueSubject& operator=(const AsyncValueSubject&) = delete;

  BufferingPolicy bufferingPolicy() const { return shared_->bufferingPolicy; }

  // The current value; after finish() the last one.
  Value value() const { return shared_->mutableState[&MutableState::value]; }

  void yield(Value newValue) {
    shared_->mutableState.withValue([&](MutableState& state) {
      if (state.finished) return;
      state.value = newValue;
      for (const auto& [id, continuation] : state.continuations) continuation.yield(newValue);
    });
  }

  void yield() requires(std::is_empty_v<Value>&& std::is_default_constructible_v<Value>) { yield(Value{}); }

  void finish() {
    shared_->mutableState.withValue([](MutableState& state) {
      if (state.finished) return;
      state.finished = true;
      // Finishing runs each stream's termination action here, which erases from the stored map;
      // walk a moved-out copy so neither map is changed under the loop.
      const auto continuations = std::exchange(state.continuations, {});
      for (const auto& [id, continuation] : continuations) continuation.finish();
    });
  }

  // A new consumer stream: the current value first, then every later one. A stream made after
  // finish() ends right after the current value.
  AsyncStream<Value> values() const {
    // Named members rather than a structured binding, which clang 14 cannot capture.
    auto made = AsyncStream<Value>::makeStream(shared_->bufferingPolicy);
    auto& continuation = made.second;
    shared_->mutableState.withValue([&](MutableState& state) {
      continuation.yield(state.value);
      if (state.finished) {
        continuation.finish();
        return;
      }
      VM_CHECK(state.count != std::numeric_limits<std::uint64_t>::max(), "AsyncValueSubject: stream id overflow");
      const auto id = ++state.count;
      state.continuations.emplace(id, continuation);
      continuation.setOnTermination([subject = std::weak_ptr<Shared>(shared_), id](StreamTermination) {
        if (const auto shared = subject.lock()) {
          shared->mutableState.withValue([id](MutableState& current) { current.continuations.erase(id); });
        }
      });
    });
    return std::move(made.first);
  }

  // Calls `handler` with each value of a new stream on a task of its own, until the stream ends or the
  // returned task is cancelled.
  Task<void> onChange(std::function<void(const Value&)> handler, std::optional<TaskPriority> priority = {}) const {
    return Task<void>(priority.value_or(TaskPriority::medium), [stream = values(), handler = std::move(handler)] {
      for (;;) {
        const auto next = stream.next();
        if (!next || isCurrentTaskCancelled()) return;
        handler(*next);
      }
    });
  }

  // The ids of the registered consumer streams, in order.
  std::vector<std::uint64_t> consumerIDs() const {
    return shared_->mutableState.withValue([](MutableState& state) {
      std::vector<std::uint64_t> ids;
      for (const auto& entry : state.continuations) ids.push_back(entry.first);
      return ids;
    });
  }

 private:
  struct MutableState {
    Value value;
    std::map<std::uint64_t, typename AsyncStream<Value>::Continuation> continuations;
    std::uint64_t count = 0;
    bool finished = false;
  };
  struct Shared {
    Shared(Value initial, BufferingPolicy policy)
        : bufferingPolicy(policy), mutableState(MutableState{std::move(initial), {}, 0, false}) {}
    const BufferingPolicy bufferingPolicy;
    LockIsolated<MutableState> mutableState;
  };

  std::shared_ptr<Shared> shared_;
};

}  // namespace zirudeze::helpers
