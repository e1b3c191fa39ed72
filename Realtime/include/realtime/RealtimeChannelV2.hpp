#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <type_traits>
#include <vector>

#include "base/CodeLocation.hpp"
#include "base/ThreadSafety.hpp"
#include "concurrency/AsyncStream.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/AsyncValueSubject.hpp"
#include "helpers/ObservationToken.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "realtime/CallbackManager.hpp"
#include "realtime/PostgresActions.hpp"
#include "realtime/PresenceV2.hpp"
#include "realtime/PushV2.hpp"
#include "realtime/RealtimeChannelConfig.hpp"
#include "realtime/RealtimeClientProtocol.hpp"
#include "realtime/RealtimeMessageV2.hpp"
#include "realtime/RealtimePostgresFilter.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

// One topic on the client's shared socket: joins and leaves it, sends broadcasts and presence, and hands
// what arrives to the callbacks and streams user code registered. Made by the client and held in
// std::shared_ptr; it holds its client weakly, so once the client is gone it sends nothing. Every member
// may be called from any thread; callbacks run on the client's message task, never under a lock.
class RealtimeChannelV2 : public std::enable_shared_from_this<RealtimeChannelV2> {
 public:
  // `topic` is the full topic ("realtime:" + the name).
  static std::shared_ptr<RealtimeChannelV2> make(std::string topic, RealtimeChannelConfig config,
                                                 std::weak_ptr<RealtimeClientProtocol> socket,
                                                 std::shared_ptr<const helpers::ZirudezeLogger> logger);
  // Drops every registered callback.
  ~RealtimeChannelV2();
  RealtimeChannelV2(const RealtimeChannelV2&) = delete;
  RealtimeChannelV2& operator=(const RealtimeChannelV2&) = delete;

  const std::string& topic() const noexcept { return topic_; }
  RealtimeChannelStatus status() const;
  // The current status first, then every later one (repeats included).
  concurrency::AsyncStream<RealtimeChannelStatus> statusChange() const;
  [[nodiscard]] helpers::ObservationToken onStatusChange(std::function<void(RealtimeChannelStatus)> listener) const;
  RealtimeChannelConfig config() const;
  // The database-change subscriptions the next join asks for, in registration order.
  std::vector<PostgresJoinConfig> clientChanges() const;
  std::optional<std::string> joinRef() const;
  // The pushes still waiting for their reply.
  std::size_t pendingPushCount() const;
  const std::shared_ptr<CallbackManager>& callbackManager() const noexcept { return callbackManager_; }

  // Joins, each attempt limited to the client's timeout, retried with growing pauses after a timeout.
  // Throws RealtimeError "Maximum retry attempts reached." when every attempt timed out, and
  // CancellationError when the caller is cancelled or the socket is down after a pause. Connects the
  // client first when it may; otherwise reports that and returns without joining. A channel that left
  // (or was removed) is registered with its client again, unless another channel holds its topic now:
  // that is reported, and nothing joins.
  void subscribeWithError();
  // The same without the error; the status tells the outcome.
  void subscribe();
  // Leaves and waits for the server's close, at most the client's timeout (then it counts as left).
  void unsubscribe();
  void updateAuth(const std::optional<std::string>& jwt);

  // Over the socket when joined; otherwise posted to the REST endpoint (waiting for that, up to the
  // timeout, only with acknowledgement on). Never fails.
  void broadcast(const std::string& event, const helpers::JSONObject& message);
  // Any value whose JSON form is an object; other values throw the conversion's DecodingError.
  template <class T>
  void broadcast(const std::string& event, const T& message) {
    broadcast(event, helpers::makeJSONObject(message));
  }
  // Always over REST. Throws RealtimeError without an access token or for any reply but 202 (with the
  // server's "error" or "message" text, else the status text), and TimeoutError after `timeout` seconds
  // (by default the client's timeout).
  void httpSend(const std::string& event, const helpers::JSONObject& message,
                std::optional<double> timeout = std::nullopt);
  template <class T>
  void httpSend(const std::string& event, const T& message, std::optional<double> timeout = std::nullopt) {
    httpSend(event, helpers::makeJSONObject(message), timeout);
  }
  // Reports an issue when not joined, and sends all the same.
  void track(const helpers::JSONObject& state);
  template <class T>
  void track(const T& state) {
    track(helpers::makeJSONObject(state));
  }
  void untrack();

  // A message the client received for this topic. Never throws: trouble is logged.
  void onMessage(const RealtimeMessageV2& message);

  // Sends `event` with the channel's join ref and `ref` (a fresh one when absent); used by the client too.
  PushStatus push(const std::string& event, std::optional<std::string> ref = std::nullopt,
                  helpers::JSONObject payload = {});

  // Database changes of one kind (InsertAction, UpdateAction, DeleteAction) or all (AnyAction). On a
  // joined channel nothing is registered: an issue is reported and the token does nothing.
  template <PostgresAction Action = AnyAction>
  [[nodiscard]] helpers::ObservationToken onPostgresChange(
      std::string schema, std::optional<std::string> table, std::optional<std::string> filter,
      std::type_identity_t<std::function<void(const Action&)>> callback) {
    return onPostgresChangeCore(Action::eventType, std::move(schema), std::move(table), std::move(filter),
                                narrowed<Action>(std::move(callback)));
  }
  // `event` "*" for every broadcast; otherwise compared in any case.
  [[nodiscard]] helpers::ObservationToken onBroadcast(std::string event,
                                                      std::function<void(const helpers::JSONObject&)> callback);
  [[nodiscard]] helpers::ObservationToken onSystem(std::function<void(const RealtimeMessageV2&)> callback);
  [[nodiscard]] helpers::ObservationToken onSystem(std::function<void()> callback);
  // On a joined channel the channel leaves and joins again, so the server learns of presence.
  [[nodiscard]] helpers::ObservationToken onPresenceChange(std::function<void(const PresenceActionImpl&)> callback);

  // The registrations as streams: unbounded, in arrival order; ending the stream (cancelling its
  // consumer, or dropping it) cancels the registration. The channel never ends them itself.
  template <PostgresAction Action = AnyAction>
  concurrency::AsyncStream<Action> postgresChange(std::string schema, std::optional<std::string> table = std::nullopt,
                                                  std::optional<std::string> filter = std::nullopt) {
    return listenerStream<Action>([&](std::function<void(const Action&)> yield) {
      return onPostgresChange<Action>(std::move(schema), std::move(table), std::move(filter), std::move(yield));
    });
  }
  template <PostgresAction Action = AnyAction>
  concurrency::AsyncStream<Action> postgresChange(std::string schema, std::optional<std::string> table,
                                                  const RealtimePostgresFilter& filter) {
    return postgresChange<Action>(std::move(schema), std::move(table), filter.filterString());
  }
  concurrency::AsyncStream<PresenceActionImpl> presenceChangeStream();
  concurrency::AsyncStream<helpers::JSONObject> broadcastStream(std::string event);
  // The same as broadcastStream, for older callers.
  concurrency::AsyncStream<helpers::JSONObject> broadcastAsyncStream(std::string event);
  concurrency::AsyncStream<RealtimeMessageV2> systemStream();

 private:
  friend class PushV2;

  struct MutableState {
    std::vector<PostgresJoinConfig> clientChanges;
    std::optional<std::string> joinRef;
    std::map<std::string, std::shared_ptr<PushV2>> pushes;
    RealtimeChannelConfig config;
  };

  RealtimeChannelV2(std::string topic, RealtimeChannelConfig config, std::weak_ptr<RealtimeClientProtocol> socket,
                    std::shared_ptr<const helpers::ZirudezeLogger> logger);

  std::shared_ptr<RealtimeClientProtocol> socket() const { return socket_.lock(); }
  void setStatus(RealtimeChannelStatus status);
  // Returns once the status stream shows `wanted`; throws CancellationError when `stop` comes first.
  void waitForStatus(RealtimeChannelStatus wanted, const std::stop_token& stop) const;
  // One join attempt; false when no join was sent.
  bool subscribeOnce(const std::stop_token& stop);
  // The provider's token, else the client's stored one.
  std::optional<std::string> findAccessToken(RealtimeClientProtocol& client) const;
  // The REST broadcast request; "Authorization" only with a token.
  helpers::HTTPRequest broadcastRequest(RealtimeClientProtocol& client, const std::string& event,
                                        const helpers::JSONObject& message,
                                        const std::optional<std::string>& token) const;

  void handleMessage(const RealtimeMessageV2& message);
  void handleReply(const RealtimeMessageV2& message);
  void handlePostgresChange(const RealtimeMessageV2& message);

  helpers::ObservationToken onPostgresChangeCore(PostgresChangeEvent event, std::string schema,
                                                 std::optional<std::string> table, std::optional<std::string> filter,
                                                 std::function<void(const AnyAction&)> callback);
  helpers::ObservationToken removalToken(const char* kind, std::int64_t id) const;

  template <class Action>
  static std::function<void(const AnyAction&)> narrowed(std::function<void(const Action&)> callback) {
    if constexpr (std::is_same_v<Action, AnyAction>) {
      return callback;
    } else {
      return [callback = std::move(callback)](const AnyAction& action) {
        if (const auto* kind = action.as<Action>()) callback(*kind);
      };
    }
  }

  template <class T, class Register>
  static concurrency::AsyncStream<T> listenerStream(Register&& registerCallback) {
    auto made = concurrency::AsyncStream<T>::makeStream(concurrency::BufferingPolicy::unbounded());
    const auto continuation = made.second;
    const helpers::ObservationToken token =
        registerCallback(std::function<void(const T&)>([continuation](const T& value) { continuation.yield(value); }));
    continuation.setOnTermination([token](concurrency::StreamTermination) { token.cancel(); });
    return std::move(made.first);
  }

  void logDebug(const std::string& message,
                velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const;
  void logError(const std::string& message,
                velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const;
  void log(helpers::ZirudezeLogLevel level, const std::string& message,
           const velmoria::base::CodeLocation& location) const;

  const std::string topic_;
  const std::weak_ptr<RealtimeClientProtocol> socket_;
  const std::shared_ptr<const helpers::ZirudezeLogger> logger_;
  const std::shared_ptr<CallbackManager> callbackManager_ = std::make_shared<CallbackManager>();
  helpers::AsyncValueSubject<RealtimeChannelStatus> statusSubject_{RealtimeChannelStatus::unsubscribed};

  mutable velmoria::base::Mutex mutex_;
  MutableState state_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::realtime
