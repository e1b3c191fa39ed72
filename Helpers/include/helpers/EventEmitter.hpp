#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "concurrency/AsyncStream.hpp"
#include "concurrency/LockIsolated.hpp"
#include "helpers/ObservationToken.hpp"

namespace zirudeze::helpers {

// One-to-many notification of one kind of event. A listener stays registered while the token that
// `attach` returned is alive and not cancelled. Listeners are called with no lock held, in the order
// they were attached, on the emitting thread.
template <class Event>
class EventEmitter {
 public:
  using Listener = std::function<void(const Event&)>;

  EventEmitter(Event initialEvent, bool emitsLastEventWhenAttaching)
      : shared_(std::make_shared<Shared>(std::move(initialEvent))),
        emitsLastEventWhenAttaching_(emitsLastEventWhenAttaching) {}

  EventEmitter(const EventEmitter&) = delete;
  EventEmitter& operator=(const EventEmitter&) = delete;

  // Registers `listener`; when the emitter replays, it is called with the last event before this returns.
  ObservationToken attach(Listener listener) {
    ObservationToken token;
    token.replaceCancelAction([emitter = std::weak_ptr<Shared>(shared_), key = token.identity()] {
      const auto shared = emitter.lock();
      if (!shared) return;
      // Removed listeners are destroyed after the lock is released: what they captured may run code.
      std::vector<Entry> removed;
      shared->mutableState.withValue([&](MutableState& state) {
        for (auto it = state.listeners.begin(); it != state.listeners.end();) {
          if (it->key == key) {
            removed.push_back(std::move(*it));
            it = state.listeners.erase(it);
          } else {
            ++it;
          }
        }
      });
    });
    shared_->mutableState.withValue([&](MutableState& state) {
      state.listeners.push_back(Entry{token.identity(), listener});
    });
    if (emitsLastEventWhenAttaching_) listener(lastEvent());
    return token;
  }

  // Records `event` and delivers it to every listener.
  void emit(Event event) {
    const auto listeners = record(event);
    for (const auto& entry : listeners) entry.listener(event);
  }

  // Records `event` and delivers it only to the listener registered under `token`, if it still is.
  void emit(Event event, const ObservationToken& token) {
    const auto listeners = record(event);
    for (const auto& entry : listeners) {
      if (entry.key == token.identity()) {
        entry.listener(event);
        return;
      }
    }
  }

  Event lastEvent() const { return shared_->mutableState[&MutableState::lastEvent]; }

  // Every event from now on (and the last one first, when the emitter replays) until the consumer
  // stops reading; dropping or cancelling the stream detaches its listener.
  AsyncStream<Event> stream() {
    // Named members rather than a structured binding, which clang 14 cannot capture.
    auto made = AsyncStream<Event>::makeStream(BufferingPolicy::unbounded());
    auto& continuation = made.second;
    const auto token = attach([continuation](const Event& event) { continuation.yield(event); });
    continuation.setOnTermination([token](StreamTermination) { token.cancel(); });
    return std::move(made.first);
  }

 private:
  struct Entry {
    const void* key;
    Listener listener;
  };
  struct MutableState {
    std::vector<Entry> listeners;
    Event lastEvent;
  };
  struct Shared {
    explicit Shared(Event initial) : mutableState(MutableState{{}, std::move(initial)}) {}
    LockIsolated<MutableState> mutableState;
  };

  std::vector<Entry> record(const Event& event) {
    return shared_->mutableState.withValue([&](MutableState& state) {
      state.lastEvent = event;
      return state.listeners;
    });
  }

  std::shared_ptr<Shared> shared_;
  const bool emitsLastEventWhenAttaching_;
};

}  // namespace zirudeze::helpers
