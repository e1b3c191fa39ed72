#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SocketMutex.hpp"
#include "realtime/legacy/HeartbeatTimer.hpp"
#include "realtime/legacy/RealtimeClient.hpp"
#include "realtime/legacy/TimeoutTimer.hpp"

namespace zirudeze::realtime {

// What the transport reports, for one connection: each connection gets its own, so a report of one the
// client has let go of (or replaced) reaches nothing.
class RealtimeClient::Reports final : public SocketTransportDelegate {
 public:
  explicit Reports(std::weak_ptr<RealtimeClient> client) : client_(std::move(client)) {}

  void bind(const SocketTransport* source) noexcept { source_ = source; }

  void onOpen(const std::optional<helpers::HTTPURLResponse>& response) override;
  void onError(const std::exception_ptr& error, const std::optional<helpers::HTTPURLResponse>& response) override;
  void onMessage(const std::string& message) override;
  void onClose(int code, const std::optional<std::string>& reason) override;

 private:
  const std::weak_ptr<RealtimeClient> client_;
  const SocketTransport* source_ = nullptr;
};

struct RealtimeClient::State {
  template <class Callback>
  using Registrations = std::vector<std::pair<std::string, Callback>>;

  struct StateChangeCallbacks {
    Registrations<OpenDelegate> open;
    Registrations<CloseDelegate> close;
    Registrations<ErrorDelegate> error;
    Registrations<MessageDelegate> message;
  };

  struct BufferedSend {
    std::optional<std::string> ref;
    std::function<void()> send;
  };

  State(std::string endPoint, std::map<std::string, std::string> headers, TransportFactory transport,
        ParamsClosure paramsClosure, std::string vsn);

  // Whatever is registered on the socket's mutex; calls below need it held.
  std::optional<Params> currentParams() const;
  bool connected() const VM_REQUIRES(mutex);
  std::string nextRef() VM_REQUIRES(mutex);
  void log(std::initializer_list<std::string_view> items) const VM_REQUIRES(mutex);

  const std::shared_ptr<SocketMutex> lock = std::make_shared<SocketMutex>();
  SocketMutex& mutex = *lock;
  const std::shared_ptr<TimerQueue> timers = TimerQueue::main();

  const std::string endPoint;
  const TransportFactory transport;
  const ParamsClosure paramsClosure;
  const std::string vsn;
  const std::map<std::string, std::string> headers;
  const std::shared_ptr<helpers::HTTPClientType> http;

  velmoria::base::URL endPointUrl VM_GUARDED_BY(mutex);
  Encode encode VM_GUARDED_BY(mutex);
  Decode decode VM_GUARDED_BY(mutex);
  double timeout VM_GUARDED_BY(mutex) = Defaults::timeoutInterval;
  double heartbeatInterval VM_GUARDED_BY(mutex) = Defaults::heartbeatInterval;
  std::chrono::nanoseconds heartbeatLeeway VM_GUARDED_BY(mutex) = Defaults::heartbeatLeeway;
  BackOff reconnectAfter VM_GUARDED_BY(mutex) = &Defaults::reconnectSteppedBackOff;
  BackOff rejoinAfter VM_GUARDED_BY(mutex) = &Defaults::rejoinSteppedBackOff;
  Logger logger VM_GUARDED_BY(mutex);
  bool skipHeartbeat VM_GUARDED_BY(mutex) = false;
  bool disableSSLCertValidation VM_GUARDED_BY(mutex) = false;
  std::optional<std::vector<std::string>> enabledSSLCipherSuites VM_GUARDED_BY(mutex);

  StateChangeCallbacks stateChangeCallbacks VM_GUARDED_BY(mutex);

  std::vector<std::shared_ptr<RealtimeChannel>> channels VM_GUARDED_BY(mutex);
  std::vector<BufferedSend> sendBuffer VM_GUARDED_BY(mutex);
  std::uint64_t ref VM_GUARDED_BY(mutex) = 0;
  std::unique_ptr<HeartbeatTimer> heartbeatTimer VM_GUARDED_BY(mutex);
  std::optional<std::string> pendingHeartbeatRef VM_GUARDED_BY(mutex);
  std::unique_ptr<TimeoutTimer> reconnectTimer VM_GUARDED_BY(mutex);
  CloseStatus closeStatus VM_GUARDED_BY(mutex) = CloseStatus::unknown;
  std::shared_ptr<SocketTransport> connection VM_GUARDED_BY(mutex);
  std::shared_ptr<Reports> reports VM_GUARDED_BY(mutex);
  std::optional<std::string> accessToken VM_GUARDED_BY(mutex);
};

}  // namespace zirudeze::realtime
