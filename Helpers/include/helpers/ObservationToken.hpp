#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "concurrency/LockIsolated.hpp"

namespace zirudeze::helpers {

template <class Event>
class EventEmitter;

// Keeps one registration alive. Copies share the registration; when the last copy goes away, or
// `cancel()` is called, the cancel action runs, at most once.
class ObservationToken {
 public:
  explicit ObservationToken(std::function<void()> onCancel = {});

  void cancel() const;
  // The removal a listener registration offers; same as cancel().
  void remove() const { cancel(); }
  bool isCancelled() const;

  // Hands the token to a caller-owned collection, which then keeps the registration alive.
  void store(std::vector<ObservationToken>& collection) const;
  void store(std::unordered_set<ObservationToken>& collection) const;

  // Tokens are equal only when they are the same registration.
  const void* identity() const { return state_.get(); }
  friend bool operator==(const ObservationToken& lhs, const ObservationToken& rhs) { return lhs.state_ == rhs.state_; }

 private:
  template <class Event>
  friend class EventEmitter;

  struct MutableState {
    bool isCancelled = false;
    std::function<void()> onCancel;
  };

  struct State {
    explicit State(std::function<void()> onCancel) : mutableState(MutableState{false, std::move(onCancel)}) {}
    ~State();
    void cancel();
    LockIsolated<MutableState> mutableState;
  };

  void replaceCancelAction(std::function<void()> onCancel) const;

  std::shared_ptr<State> state_;
};

}  // namespace zirudeze::helpers

template <>
struct std::hash<zirudeze::helpers::ObservationToken> {
  std::size_t operator()(const zirudeze::helpers::ObservationToken& token) const {
    return std::hash<const void*>{}(token.identity());
  }
};
