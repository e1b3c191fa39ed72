#include "realtime/CallbackManager.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

#include "base/Unicode.hpp"

namespace zirudeze::realtime {

std::int64_t callbackID(const RealtimeCallback& callback) noexcept {
  return std::visit([](const auto& record) { return record.id; }, callback);
}

CallbackManager::~CallbackManager() { reset(); }

template <class Record, class Callback>
std::int64_t CallbackManager::add(Callback callback) {
  const velmoria::base::MutexLock lock(mutex_);
  const std::int64_t id = ++state_.id;
  Record record;
  record.id = id;
  record.callback = std::move(callback);
  state_.callbacks.emplace_back(std::move(record));
  return id;
}

std::int64_t CallbackManager::addPostgresCallback(PostgresJoinConfig filter,
                                                  std::function<void(const AnyAction&)> callback) {
  const velmoria::base::MutexLock lock(mutex_);
  const std::int64_t id = ++state_.id;
  state_.callbacks.emplace_back(PostgresCallback{id, std::move(filter), std::move(callback)});
  return id;
}

std::int64_t CallbackManager::addBroadcastCallback(std::string event,
                                                   std::function<void(const helpers::JSONObject&)> callback) {
  const velmoria::base::MutexLock lock(mutex_);
  const std::int64_t id = ++state_.id;
  state_.callbacks.emplace_back(BroadcastCallback{id, std::move(event), std::move(callback)});
  return id;
}

std::int64_t CallbackManager::addPresenceCallback(std::function<void(const PresenceActionImpl&)> callback) {
  return add<PresenceCallback>(std::move(callback));
}

std::int64_t CallbackManager::addSystemCallback(std::function<void(const RealtimeMessageV2&)> callback) {
  return add<SystemCallback>(std::move(callback));
}

void CallbackManager::removeCallback(std::int64_t id) {
  std::vector<RealtimeCallback> removed;
  {
    const velmoria::base::MutexLock lock(mutex_);
    auto& callbacks = state_.callbacks;
    const auto kept = std::stable_partition(callbacks.begin(), callbacks.end(), [id](const RealtimeCallback& callback) {
      return callbackID(callback) != id;
    });
    std::move(kept, callbacks.end(), std::back_inserter(removed));
    callbacks.erase(kept, callbacks.end());
  }
  // What the callbacks hold goes after the lock: it may come back here.
}

void CallbackManager::setServerChanges(std::vector<PostgresJoinConfig> changes) {
  const velmoria::base::MutexLock lock(mutex_);
  state_.serverChanges = std::move(changes);
}

void CallbackManager::triggerPostgresChanges(const std::vector<std::int64_t>& ids, const AnyAction& data) {
  std::vector<std::function<void(const AnyAction&)>> selected;
  {
    const velmoria::base::MutexLock lock(mutex_);
    std::vector<const PostgresJoinConfig*> inPlay;
    for (const auto& binding : state_.serverChanges) {
      if (std::find(ids.begin(), ids.end(), binding.id) != ids.end()) inPlay.push_back(&binding);
    }
    if (inPlay.empty()) return;
    for (const auto& entry : state_.callbacks) {
      const auto* candidate = std::get_if<PostgresCallback>(&entry);
      if (candidate == nullptr) continue;
      const bool served = std::any_of(inPlay.begin(), inPlay.end(), [&](const PostgresJoinConfig* binding) {
        return matches(candidate->filter, *binding);
      });
      if (served) selected.push_back(candidate->callback);
    }
  }
  for (const auto& callback : selected) callback(data);
}

void CallbackManager::triggerBroadcast(const std::string& event, const helpers::JSONObject& json) {
  std::vector<std::function<void(const helpers::JSONObject&)>> selected;
  {
    // Full Unicode case mapping, and canonically equivalent texts are one name ("É" composed or not).
    const std::string incoming = velmoria::base::lowercased(event);
    const velmoria::base::MutexLock lock(mutex_);
    for (const auto& entry : state_.callbacks) {
      const auto* candidate = std::get_if<BroadcastCallback>(&entry);
      if (candidate == nullptr) continue;
      if (candidate->event == "*" ||
          velmoria::base::canonicallyEqual(velmoria::base::lowercased(candidate->event), incoming)) {
        selected.push_back(candidate->callback);
      }
    }
  }
  for (const auto& callback : selected) callback(json);
}

void CallbackManager::triggerPresenceDiffs(const std::map<std::string, PresenceV2>& joins,
                                           const std::map<std::string, PresenceV2>& leaves,
                                           const RealtimeMessageV2& rawMessage) {
  std::vector<std::function<void(const PresenceActionImpl&)>> selected;
  {
    const velmoria::base::MutexLock lock(mutex_);
    for (const auto& entry : state_.callbacks) {
      if (const auto* candidate = std::get_if<PresenceCallback>(&entry)) selected.push_back(candidate->callback);
    }
  }
  for (const auto& callback : selected) {
    const PresenceActionImpl action{joins, leaves, rawMessage};
    callback(action);
  }
}

void CallbackManager::triggerSystem(const RealtimeMessageV2& message) {
  std::vector<std::function<void(const RealtimeMessageV2&)>> selected;
  {
    const velmoria::base::MutexLock lock(mutex_);
    for (const auto& entry : state_.callbacks) {
      if (const auto* candidate = std::get_if<SystemCallback>(&entry)) selected.push_back(candidate->callback);
    }
  }
  for (const auto& callback : selected) callback(message);
}

void CallbackManager::reset() {
  MutableState dropped;
  {
    const velmoria::base::MutexLock lock(mutex_);
    dropped = std::exchange(state_, MutableState{});
  }
}

std::vector<RealtimeCallback> CallbackManager::callbacks() const {
  const velmoria::base::MutexLock lock(mutex_);
  return state_.callbacks;
}

std::vector<PostgresJoinConfig> CallbackManager::serverChanges() const {
  const velmoria::base::MutexLock lock(mutex_);
  return state_.serverChanges;
}

bool CallbackManager::hasPresenceCallback() const {
  const velmoria::base::MutexLock lock(mutex_);
  return std::any_of(state_.callbacks.begin(), state_.callbacks.end(), [](const RealtimeCallback& callback) {
    return std::holds_alternative<PresenceCallback>(callback);
  });
}

}  // namespace zirudeze::realtime
