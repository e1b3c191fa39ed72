#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/CodeLocation.hpp"
#include "base/ThreadSafety.hpp"
#include "base/URL.hpp"
#include "concurrency/AsyncStream.hpp"
#include "concurrency/Task.hpp"
#include "helpers/AsyncValueSubject.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/ObservationToken.hpp"
#include "realtime/RealtimeChannelConfig.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/RealtimeClientOptions.hpp"
#include "realtime/RealtimeClientProtocol.hpp"
#include "realtime/RealtimeMessageV2.hpp"
#include "realtime/RealtimeStatus.hpp"
#include "realtime/WebSocket.hpp"

namespace zirudeze::realtime {

// Opens a WebSocket to `url` with `headers` on the handshake and blocks until it is open. Throws when it
// does not open, and CancellationError once `stop` is triggered.
using WebSocketTransport = std::function<std::shared_ptr<WebSocket>(
    const velmoria::base::URL& url, const std::map<std::string, std::string>& headers, std::stop_token stop)>;

// One WebSocket connection to the realtime service that keeps itself up (heartbeats, reconnection and
// re-joining) and carries the channels registered with it. Held in std::shared_ptr; its tasks hold it
// weakly, never join each other, and dropping the last reference only asks them to stop. Safe to use
// from any thread. Connection trouble is logged and answered by reconnecting, never thrown.
class RealtimeClientV2 final : public RealtimeClientProtocol, public std::enable_shared_from_this<RealtimeClientV2> {
 public:
  // HTTP through options.fetch (else the process's transport), logged when the options carry a logger;
  // WebSockets through URLSessionWebSocket.
  static std::shared_ptr<RealtimeClientV2> make(velmoria::base::URL url, RealtimeClientOptions options);
  static std::shared_ptr<RealtimeClientV2> make(const RealtimeClientV2Configuration& configuration);
  // Adds "X-Client-Info" when the headers have none. Throws std::invalid_argument without an "apikey"
  // header (any case).
  static std::shared_ptr<RealtimeClientV2> make(velmoria::base::URL url, RealtimeClientOptions options,
                                                WebSocketTransport transport,
                                                std::shared_ptr<helpers::HTTPClientType> http);

  // Stops every task and forgets the channels; the connection is dropped without a close frame.
  ~RealtimeClientV2() override;
  RealtimeClientV2(const RealtimeClientV2&) = delete;
  RealtimeClientV2& operator=(const RealtimeClientV2&) = delete;

  RealtimeClientStatus status() const override;
  // Starts one connection however many callers ask at once (none while a reconnection is pending,
  // which opens it), and returns once connected (or when the calling task is cancelled).
  void connect() override;
  void push(RealtimeMessageV2 message) override;
  std::string makeRef() override;
  void removeChannelFromRegistry(const std::string& topic) override;
  bool registerChannel(const std::shared_ptr<RealtimeChannelV2>& channel) override;
  const RealtimeClientOptions& options() const override { return options_; }
  const velmoria::base::URL& url() const override { return url_; }
  std::optional<std::string> accessToken() const override;
  std::shared_ptr<helpers::HTTPClientType> http() const override { return http_; }

  // The "apikey" header's value.
  const std::string& apikey() const noexcept { return apikey_; }

  // The current status first, then every later one (repeats included).
  concurrency::AsyncStream<RealtimeClientStatus> statusChange() const;
  // Every heartbeat outcome from now on.
  concurrency::AsyncStream<HeartbeatStatus> heartbeat() const;
  [[nodiscard]] helpers::ObservationToken onStatusChange(std::function<void(RealtimeClientStatus)> listener) const;
  [[nodiscard]] helpers::ObservationToken onHeartbeat(std::function<void(HeartbeatStatus)> listener) const;

  // Closes the connection (with a close frame when `code` is given: 1000 or 3000...4999, the reason at
  // most 123 bytes of UTF-8, else std::invalid_argument before anything changes), stops every task and
  // drops unsent pushes. The channels and the token stay.
  void disconnect(std::optional<int> code = std::nullopt, std::optional<std::string> reason = std::nullopt);

  // The registered channels, in registration order.
  std::vector<std::shared_ptr<RealtimeChannelV2>> channels() const;
  // The same, for older callers.
  std::vector<std::shared_ptr<RealtimeChannelV2>> subscriptions() const { return channels(); }
  // The channel of topic "realtime:" + `name`: the registered one (then `configure` is not run), or a
  // new one, configured and registered but not joined.
  std::shared_ptr<RealtimeChannelV2> channel(const std::string& name,
                                             const std::function<void(RealtimeChannelConfig&)>& configure = {});
  // Registers `channel` under its topic, replacing any channel there.
  void addChannel(const std::shared_ptr<RealtimeChannelV2>& channel);
  // Leaves the channel when joined, forgets it, and disconnects when no channel is left.
  void removeChannel(const std::shared_ptr<RealtimeChannelV2>& channel);
  // Removes every registered channel, all at once; returns when all are done.
  void removeAllChannels();

  // `token`, else the options' provider's (a failing provider counts as none). A token different from the
  // stored one is stored and sent to every joined channel, one after the other.
  void setAuth(std::optional<std::string> token = std::nullopt);

 private:
  struct MutableState {
    std::optional<std::string> accessToken;
    std::int64_t ref = 0;
    std::optional<std::string> pendingHeartbeatRef;
    std::optional<concurrency::Task<void>> heartbeatTask;
    std::optional<concurrency::Task<void>> messageTask;
    std::optional<concurrency::Task<void>> connectionTask;
    std::optional<concurrency::Task<void>> reconnectTask;
    // The joins after a reconnection; stopped with the others, so nothing joins after a disconnect.
    std::optional<concurrency::Task<void>> rejoinTask;
    std::vector<std::shared_ptr<RealtimeChannelV2>> channels;
    std::vector<std::function<void()>> sendBuffer;
    std::shared_ptr<WebSocket> conn;
  };

  RealtimeClientV2(velmoria::base::URL url, RealtimeClientOptions options, WebSocketTransport transport,
                   std::shared_ptr<helpers::HTTPClientType> http);

  // One connection attempt, after the reconnection delay when `reconnect`. A stop on the way changes
  // nothing and closes what the transport opened.
  static void connect(const std::weak_ptr<RealtimeClientV2>& client, bool reconnect, const std::stop_token& stop);
  // Stores the connection, starts the message loop and the heartbeat, becomes connected and sends what
  // waited; false (and nothing changed) once `stop` was requested.
  bool onConnected(const std::shared_ptr<WebSocket>& connection, bool reconnect, const std::stop_token& stop);
  // `caller`: the token of the task reporting; once it is stopped nothing reconnects.
  void onError(const std::exception_ptr& error, const std::stop_token& caller);
  void reconnect(std::optional<std::string> reason, const std::stop_token& caller);
  // `keepReconnecting`: called by the reconnection itself, which goes on.
  void disconnect(std::optional<int> code, std::optional<std::string> reason, bool keepReconnecting);
  static void rejoinChannels(const std::weak_ptr<RealtimeClientV2>& client, const std::stop_token& stop);

  // Runs on the message task until the connection's events end or the task stops.
  static void listenForMessages(const std::weak_ptr<RealtimeClientV2>& client,
                                const std::shared_ptr<WebSocket>& connection, const std::stop_token& stop);
  static void runHeartbeat(const std::weak_ptr<RealtimeClientV2>& client, double interval, const std::stop_token& stop);
  // Clears an acknowledged heartbeat; the channel of the message's topic, if any.
  std::shared_ptr<RealtimeChannelV2> onMessage(const RealtimeMessageV2& message);
  void onClose(std::optional<int> code, const std::string& reason, const std::stop_token& stop);
  void sendHeartbeat(const std::stop_token& stop);
  static void send(const std::weak_ptr<RealtimeClientV2>& client, const RealtimeMessageV2& message);

  void setStatus(RealtimeClientStatus status);
  void logDebug(const std::string& message,
                velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const;
  void logError(const std::string& message,
                velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const;
  void log(helpers::ZirudezeLogLevel level, const std::string& message,
           const velmoria::base::CodeLocation& location) const;

  const velmoria::base::URL url_;
  const RealtimeClientOptions options_;
  const WebSocketTransport transport_;
  const std::shared_ptr<helpers::HTTPClientType> http_;
  const std::string apikey_;
  helpers::AsyncValueSubject<RealtimeClientStatus> statusSubject_{RealtimeClientStatus::disconnected};
  helpers::AsyncValueSubject<std::optional<HeartbeatStatus>> heartbeatSubject_{std::nullopt};

  mutable velmoria::base::RecursiveMutex mutex_;
  MutableState state_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::realtime
