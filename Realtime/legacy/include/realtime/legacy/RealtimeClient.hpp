#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/Data.hpp"
#include "base/URL.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/URLResponse.hpp"
#include "realtime/legacy/ChannelTypes.hpp"
#include "realtime/legacy/Defaults.hpp"
#include "realtime/legacy/Delegated.hpp"
#include "realtime/legacy/RealtimeMessage.hpp"
#include "realtime/legacy/SocketTransport.hpp"

namespace zirudeze::realtime {

class RealtimeChannel;
class SocketMutex;

// The older channel-socket client: one WebSocket to the service's "websocket" endpoint, over which its
// channels exchange array messages, with a heartbeat, reconnection on stepped delays and a buffer for
// what is sent while closed. Failures reach the open, close, error and message callbacks, never the
// caller. Every registration returns a ref that `off` takes back; refs and message refs come from one
// counter.
//
// Owned through std::shared_ptr. One recursive mutex, shared with the client's channels, pushes and
// presence, serialises transport reports (on the transport's delivery context), timer work and callers'
// calls; nothing waits for the application while holding it. The application's callbacks (the
// client's, bindings, push hooks, subscribe and presence callbacks, the logger) run holding no lock of
// the socket, one at a time, in the order of what caused them: a call's own on the calling thread before
// it returns when no other is running, else after the running one on a task thread (so timer work's run
// on the timer thread, which waits for them); those of transport reports on a task thread. One that
// throws is reported and dropped. A callback may call back into the socket, lock the application's
// model, wait in a typed send (its reply is taken in beside it) or disconnect; what it causes runs after
// it. Outside callbacks, make calls without holding a lock their callbacks take. The params closure,
// transport factory, coders and back-off functions run inside the socket's calls, holding its mutex.
class RealtimeClient : public std::enable_shared_from_this<RealtimeClient> {
  struct Passkey {
    explicit Passkey() = default;
  };

 public:
  using Params = helpers::JSONObject;
  using ParamsClosure = std::function<std::optional<Params>()>;
  using TransportFactory = std::function<std::shared_ptr<SocketTransport>(const velmoria::base::URL&)>;
  using Encode = std::function<velmoria::base::Data(const helpers::AnyJSON&)>;
  using Decode = std::function<std::optional<helpers::AnyJSON>(const velmoria::base::Data&)>;
  using Logger = std::function<void(const std::string&)>;
  using BackOff = std::function<double(int tries)>;
  using Response = std::optional<helpers::HTTPURLResponse>;

  using OpenDelegate = Delegated<void(const Response&)>;
  using CloseDelegate = Delegated<void(int, const std::optional<std::string>&)>;
  using ErrorDelegate = Delegated<void(const std::exception_ptr&, const Response&)>;
  using MessageDelegate = Delegated<void(const RealtimeMessage&)>;

  enum class CloseCode : int { abnormal = 999, normal = 1000, goingAway = 1001 };
  // Why the socket last closed; unknown and abnormal closes reconnect.
  enum class CloseStatus { unknown, clean, abnormal, temporary };

  static std::optional<CloseCode> makeCloseCode(int code) noexcept;
  // 999 abnormal, 1001 temporary, any other clean.
  static CloseStatus closeStatusFor(int code) noexcept;
  static CloseStatus closeStatusFor(CloseCode code) noexcept;
  // A transport's close: abnormal stays, anything else takes the code's status.
  static CloseStatus updatedCloseStatus(CloseStatus current, int code) noexcept;
  static bool shouldReconnect(CloseStatus status) noexcept;

  // Throw std::invalid_argument "Malformed URL: " + endPoint when it is no URL, or "Malformed URL while
  // adding parameters". Nothing connects until connect.
  static std::shared_ptr<RealtimeClient> make(std::string endPoint, std::map<std::string, std::string> headers = {},
                                              std::optional<Params> params = std::nullopt,
                                              std::string vsn = std::string(Defaults::vsn));
  static std::shared_ptr<RealtimeClient> make(std::string endPoint, std::map<std::string, std::string> headers,
                                              ParamsClosure paramsClosure,
                                              std::string vsn = std::string(Defaults::vsn));
  static std::shared_ptr<RealtimeClient> make(std::string endPoint, std::map<std::string, std::string> headers,
                                              TransportFactory transport, ParamsClosure paramsClosure,
                                              std::string vsn = std::string(Defaults::vsn));

  RealtimeClient(Passkey, std::string endPoint, std::map<std::string, std::string> headers, TransportFactory transport,
                 ParamsClosure paramsClosure, std::string vsn);
  ~RealtimeClient();
  RealtimeClient(const RealtimeClient&) = delete;
  RealtimeClient& operator=(const RealtimeClient&) = delete;

  const std::string& endPoint() const noexcept;
  // The socket URL: "websocket" below the endpoint's path, "vsn" and then the params as query items.
  velmoria::base::URL endPointUrl() const;
  std::optional<Params> params() const;
  const std::string& vsn() const noexcept;
  std::map<std::string, std::string> headers() const;
  std::optional<std::string> accessToken() const;
  CloseStatus closeStatus() const;
  std::shared_ptr<helpers::HTTPClientType> http() const;

  double timeout() const;
  void setTimeout(double seconds);
  double heartbeatInterval() const;
  void setHeartbeatInterval(double seconds);
  std::chrono::nanoseconds heartbeatLeeway() const;
  void setHeartbeatLeeway(std::chrono::nanoseconds leeway);
  bool skipHeartbeat() const;
  void setSkipHeartbeat(bool skip);
  void setReconnectAfter(BackOff backOff);
  void setRejoinAfter(BackOff backOff);
  // The channels' rejoin delay for try n.
  double rejoinAfter(int tries) const;
  void setLogger(Logger logger);
  void setEncode(Encode encode);
  void setDecode(Decode decode);
  // Kept and never read: certificates are always verified.
  bool disableSSLCertValidation() const;
  void setDisableSSLCertValidation(bool disable);
  std::optional<std::vector<std::string>> enabledSSLCipherSuites() const;
  void setEnabledSSLCipherSuites(std::optional<std::vector<std::string>> suites);

  // The message counter: makeRef increments it (wrapping to 0) and gives its decimal text.
  std::uint64_t ref() const;
  void setRef(std::uint64_t ref);
  std::string makeRef();

  // "wss" for https, "ws" for http, else the scheme itself.
  std::string websocketProtocol() const;
  bool isConnected() const;
  SocketTransportReadyState connectionState() const;

  // Stores the token (also none) and hands it to every channel: into its join params when given, and as an
  // "access_token" push to the channels that joined and are joined now.
  void setAuth(std::optional<std::string> token);

  void connect();
  // Closes the connection without reconnecting; the channels joined on it hear a "phx_error", as after
  // a transport close, so they rejoin on the next open.
  void disconnect(CloseCode code = CloseCode::normal, std::optional<std::string> reason = std::nullopt,
                  std::function<void()> callback = nullptr);
  void teardown(CloseCode code = CloseCode::normal, std::optional<std::string> reason = std::nullopt,
                std::function<void()> callback = nullptr);

  std::string onOpen(std::function<void()> callback);
  std::string onOpen(std::function<void(const Response&)> callback);
  std::string onClose(std::function<void()> callback);
  std::string onClose(std::function<void(int, const std::optional<std::string>&)> callback);
  std::string onError(std::function<void(const std::exception_ptr&, const Response&)> callback);
  std::string onMessage(std::function<void(const RealtimeMessage&)> callback);

  // The same, holding `owner` weakly and passing it first; skipped once the owner is gone.
  template <class Owner>
  std::string delegateOnOpen(const std::shared_ptr<Owner>& owner,
                             std::type_identity_t<std::function<void(Owner&)>> cb) {
    OpenDelegate delegate;
    delegate.bindWeak(std::weak_ptr<Owner>(owner),
                      [cb = std::move(cb)](Owner& target, const Response&) { cb(target); });
    return addOpen(std::move(delegate));
  }
  template <class Owner>
  std::string delegateOnOpen(const std::shared_ptr<Owner>& owner,
                             std::type_identity_t<std::function<void(Owner&, const Response&)>> cb) {
    OpenDelegate delegate;
    delegate.bindWeak(std::weak_ptr<Owner>(owner), std::move(cb));
    return addOpen(std::move(delegate));
  }
  template <class Owner>
  std::string delegateOnClose(const std::shared_ptr<Owner>& owner,
                              std::type_identity_t<std::function<void(Owner&)>> cb) {
    CloseDelegate delegate;
    delegate.bindWeak(std::weak_ptr<Owner>(owner),
                      [cb = std::move(cb)](Owner& target, int, const std::optional<std::string>&) { cb(target); });
    return addClose(std::move(delegate));
  }
  template <class Owner>
  std::string delegateOnClose(
      const std::shared_ptr<Owner>& owner,
      std::type_identity_t<std::function<void(Owner&, int, const std::optional<std::string>&)>> cb) {
    CloseDelegate delegate;
    delegate.bindWeak(std::weak_ptr<Owner>(owner), std::move(cb));
    return addClose(std::move(delegate));
  }
  template <class Owner>
  std::string delegateOnError(
      const std::shared_ptr<Owner>& owner,
      std::type_identity_t<std::function<void(Owner&, const std::exception_ptr&, const Response&)>> cb) {
    ErrorDelegate delegate;
    delegate.bindWeak(std::weak_ptr<Owner>(owner), std::move(cb));
    return addError(std::move(delegate));
  }
  template <class Owner>
  std::string delegateOnMessage(const std::shared_ptr<Owner>& owner,
                                std::type_identity_t<std::function<void(Owner&, const RealtimeMessage&)>> cb) {
    MessageDelegate delegate;
    delegate.bindWeak(std::weak_ptr<Owner>(owner), std::move(cb));
    return addMessage(std::move(delegate));
  }

  // Empties the four callback lists.
  void releaseCallbacks();
  // Removes the callbacks of these refs from every list.
  void off(const std::vector<std::string>& refs);

  // A new channel for "realtime:" + topic, appended to the registry (a second one for the same topic is a
  // second entry).
  std::shared_ptr<RealtimeChannel> channel(const std::string& topic, const RealtimeChannelOptions& options = {});
  std::vector<std::shared_ptr<RealtimeChannel>> channels() const;
  // Unsubscribes the channel, drops its callbacks and takes it out of the registry; the last one gone
  // disconnects.
  void remove(const std::shared_ptr<RealtimeChannel>& channel);
  void removeAllChannels();

  // Sends [joinRef, ref, topic, event, payload] now when connected, else when the socket next opens.
  void push(const std::string& topic, const std::string& event, helpers::JSONObject payload,
            std::optional<std::string> ref = std::nullopt, std::optional<std::string> joinRef = std::nullopt);
  // Drops the buffered sends of this ref.
  void removeFromSendBuffer(const std::string& ref);
  // Unsubscribes the first other channel of the topic that is joined or joining.
  void leaveOpenTopic(const std::string& topic);
  // "LegacySocket: " and the items joined by ", ", to the logger when there is one.
  void logItems(std::initializer_list<std::string_view> items) const;

  void flushSendBuffer();
  void resetHeartbeat();
  void sendHeartbeat();
  // A "phx_error" to every joined and joining channel.
  void triggerChannelError();

 private:
  friend class RealtimeChannel;
  class Reports;
  struct State;

  // The application's, called out.
  std::string addOpen(OpenDelegate delegate);
  std::string addClose(CloseDelegate delegate);
  std::string addError(ErrorDelegate delegate);
  std::string addMessage(MessageDelegate delegate);
  // A channel's own, run inside the socket's calls.
  std::string addOwnOpen(OpenDelegate delegate);
  std::string addOwnError(ErrorDelegate delegate);
  void start();
  // Teardown but for its callback.
  void closeConnection(CloseCode code, const std::optional<std::string>& reason);

  void onConnectionOpen(const SocketTransport* source, const Response& response);
  void onConnectionError(const SocketTransport* source, const std::exception_ptr& error, const Response& response);
  void onConnectionMessage(const SocketTransport* source, const std::string& raw);
  void onConnectionClosed(const SocketTransport* source, int code, const std::optional<std::string>& reason);
  void removeChannel(const std::shared_ptr<RealtimeChannel>& channel);

  const std::shared_ptr<SocketMutex>& socketMutex() const noexcept;

  std::unique_ptr<State> state_;
};

}  // namespace zirudeze::realtime
