#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "base/ThreadSafety.hpp"
#include "helpers/AnyJSON.hpp"
#include "realtime/PostgresActions.hpp"
#include "realtime/PresenceV2.hpp"
#include "realtime/RealtimeJoinPayload.hpp"
#include "realtime/RealtimeMessageV2.hpp"

namespace zirudeze::realtime {

// The callbacks user code attached to a channel. Each may be called from any thread, and concurrently.
struct PostgresCallback {
  std::int64_t id = 0;
  PostgresJoinConfig filter;
  std::function<void(const AnyAction&)> callback;
};

struct BroadcastCallback {
  std::int64_t id = 0;
  std::string event;  // "*" for every event
  std::function<void(const helpers::JSONObject&)> callback;
};

struct PresenceCallback {
  std::int64_t id = 0;
  std::function<void(const PresenceActionImpl&)> callback;
};

struct SystemCallback {
  std::int64_t id = 0;
  std::function<void(const RealtimeMessageV2&)> callback;
};

using RealtimeCallback = std::variant<PostgresCallback, BroadcastCallback, PresenceCallback, SystemCallback>;

std::int64_t callbackID(const RealtimeCallback& callback) noexcept;

// A channel's registry of callbacks and of the database-change subscriptions the server accepted. It
// only stores, matches and calls: every trigger takes a snapshot under its lock and calls the selected
// callbacks after releasing it, in registration order, on the caller's thread. Safe from any thread.
class CallbackManager {
 public:
  CallbackManager() = default;
  // Drops every callback (and what they hold) first.
  ~CallbackManager();
  CallbackManager(const CallbackManager&) = delete;
  CallbackManager& operator=(const CallbackManager&) = delete;

  // Each returns the new callback's id: 1 for the first, never reused until reset().
  std::int64_t addPostgresCallback(PostgresJoinConfig filter, std::function<void(const AnyAction&)> callback);
  std::int64_t addBroadcastCallback(std::string event, std::function<void(const helpers::JSONObject&)> callback);
  std::int64_t addPresenceCallback(std::function<void(const PresenceActionImpl&)> callback);
  std::int64_t addSystemCallback(std::function<void(const RealtimeMessageV2&)> callback);

  // Unknown ids are ignored.
  void removeCallback(std::int64_t id);
  // Replaces the server's accepted subscriptions, each with its server id.
  void setServerChanges(std::vector<PostgresJoinConfig> changes);

  // Calls, once each, the database-change callbacks served by an accepted subscription whose id is among
  // `ids` (schema, table and filter equal; events equal or the server's "*").
  void triggerPostgresChanges(const std::vector<std::int64_t>& ids, const AnyAction& data);
  // Callbacks for "*" or for `event` in any case.
  void triggerBroadcast(const std::string& event, const helpers::JSONObject& json);
  // Every presence callback, each with an action of its own.
  void triggerPresenceDiffs(const std::map<std::string, PresenceV2>& joins,
                            const std::map<std::string, PresenceV2>& leaves, const RealtimeMessageV2& rawMessage);
  void triggerSystem(const RealtimeMessageV2& message);

  // Back to the start: no callbacks, no server subscriptions, the next id 1.
  void reset();

  std::vector<RealtimeCallback> callbacks() const;
  std::vector<PostgresJoinConfig> serverChanges() const;
  bool hasPresenceCallback() const;

 private:
  struct MutableState {
    std::int64_t id = 0;
    std::vector<PostgresJoinConfig> serverChanges;
    std::vector<RealtimeCallback> callbacks;
  };

  // Stores the callback under the next id, both in one step under the lock.
  template <class Record, class Callback>
  std::int64_t add(Callback callback);

  mutable velmoria::base::Mutex mutex_;
  MutableState state_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::realtime
