#include "helpers/ObservationToken.hpp"

namespace zirudeze::helpers {

ObservationToken::ObservationToken(std::function<void()> onCancel)
    : state_(std::make_shared<State>(std::move(onCancel))) {}

ObservationToken::State::~State() { cancel(); }

void ObservationToken::State::cancel() {
  mutableState.withValue([this](MutableState& state) {
    if (state.isCancelled) return;
    // The flag is stored before the action runs, so an action that cancels its own token (the lock is
    // recursive) finds it cancelled instead of running a second time.
    state.isCancelled = true;
    mutableState.setValue(state);
    const auto action = std::move(state.onCancel);
    state.onCancel = nullptr;
    if (action) action();
  });
}

void ObservationToken::cancel() const { state_->cancel(); }

bool ObservationToken::isCancelled() const { return state_->mutableState[&MutableState::isCancelled]; }

void ObservationToken::store(std::vector<ObservationToken>& collection) const { collection.push_back(*this); }

void ObservationToken::store(std::unordered_set<ObservationToken>& collection) const { collection.insert(*this); }

void ObservationToken::replaceCancelAction(std::function<void()> onCancel) const {
  state_->mutableState.withValue([&](MutableState& state) { state.onCancel = std::move(onCancel); });
}

}  // namespace zirudeze::helpers
