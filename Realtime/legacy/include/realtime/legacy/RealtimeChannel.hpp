#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "base/URL.hpp"
#include "helpers/AnyJSON.hpp"
#include "realtime/RealtimeError.hpp"
#include "realtime/legacy/ChannelTypes.hpp"
#include "realtime/legacy/Defaults.hpp"
#include "realtime/legacy/Presence.hpp"
#include "realtime/legacy/Push.hpp"
#include "realtime/legacy/RealtimeMessage.hpp"

namespace zirudeze::realtime {

class RealtimeClient;
class SocketMutex;

// One topic of the legacy socket ("realtime:" + name), made by the socket's `channel`. Subscribe it once,
// listen through bindings, push on it and leave it; it rejoins on stepped delays while the socket is
// connected. Holds its socket weakly and shares its mutex; bindings and the subscribe callback run as the
// socket's callbacks do (RealtimeClient), holding no lock of it.
class RealtimeChannel : public std::enable_shared_from_this<RealtimeChannel> {
  struct Passkey {
    explicit Passkey() = default;
  };

 public:
  using SubscribeCallback = std::function<void(RealtimeSubscribeStates, const std::optional<RealtimeError>&)>;
  using Callback = std::function<void(const RealtimeMessage&)>;

  RealtimeChannel(Passkey, std::string topic, helpers::JSONObject params,
                  const std::shared_ptr<RealtimeClient>& socket);
  ~RealtimeChannel();
  RealtimeChannel(const RealtimeChannel&) = delete;
  RealtimeChannel& operator=(const RealtimeChannel&) = delete;

  const std::string& topic() const noexcept;
  // The topic without "realtime:", as the REST broadcast names it.
  const std::string& subTopic() const noexcept;
  helpers::JSONObject params() const;
  // Also the join push's payload.
  void setParams(helpers::JSONObject params);
  // Made on first use with the default options, then kept.
  std::shared_ptr<Presence> presence();
  std::shared_ptr<RealtimeClient> socket() const;
  ChannelState state() const;
  double timeout() const;
  void setTimeout(double seconds);
  bool joinedOnce() const;
  std::shared_ptr<Push> joinPush() const;
  // The ref of the join push: none before the first join and after a reset.
  std::optional<std::string> joinRef() const;
  std::vector<std::string> stateChangeRefs() const;
  std::map<std::string, std::vector<Binding>> bindings() const;

  bool canPush() const;
  bool isClosed() const;
  bool isErrored() const;
  bool isJoined() const;
  bool isJoining() const;
  bool isLeaving() const;

  // Joins (connecting the socket first when needed). The callback hears every later outcome too: each
  // rejoin's subscribed, timedOut or channelError, and closed. Throws std::logic_error on a second call.
  std::shared_ptr<RealtimeChannel> subscribe(std::optional<double> timeout = std::nullopt,
                                             SubscribeCallback callback = nullptr);
  PresenceStateMap presenceSnapshot();

  std::shared_ptr<RealtimeChannel> on(const std::string& event, const ChannelFilter& filter, Callback callback);
  template <class Owner>
  std::shared_ptr<RealtimeChannel> delegateOn(
      const std::string& event, const ChannelFilter& filter, const std::shared_ptr<Owner>& owner,
      std::type_identity_t<std::function<void(Owner&, const RealtimeMessage&)>> callback) {
    Binding binding;
    binding.callback.bindWeak(std::weak_ptr<Owner>(owner), std::move(callback));
    return addBinding(event, filter, std::move(binding));
  }
  std::shared_ptr<RealtimeChannel> onClose(Callback callback);
  std::shared_ptr<RealtimeChannel> onError(Callback callback);
  template <class Owner>
  std::shared_ptr<RealtimeChannel> delegateOnClose(
      const std::shared_ptr<Owner>& owner,
      std::type_identity_t<std::function<void(Owner&, const RealtimeMessage&)>> callback) {
    return delegateOn(std::string(ChannelEvent::close), ChannelFilter{}, owner, std::move(callback));
  }
  template <class Owner>
  std::shared_ptr<RealtimeChannel> delegateOnError(
      const std::shared_ptr<Owner>& owner,
      std::type_identity_t<std::function<void(Owner&, const RealtimeMessage&)>> callback) {
    return delegateOn(std::string(ChannelEvent::error), ChannelFilter{}, owner, std::move(callback));
  }
  // Removes the event's bindings registered with exactly this filter.
  void off(const std::string& event, const std::map<std::string, std::string>& filter = {});

  // Sends now when joined, else when the join succeeds (its timeout runs from now). Throws
  // std::logic_error before the first subscribe.
  std::shared_ptr<Push> push(const std::string& event, helpers::JSONObject payload,
                             double timeout = Defaults::timeoutInterval);
  // A typed message ("type" and "event" set in the payload): a push with the type as its event, or a
  // REST broadcast while a broadcast cannot be pushed. Blocks until the reply, the timeout or the REST
  // answer, never past the push's timeout (opts "timeout", a number of seconds, else the channel's);
  // without acknowledgements a broadcast is ok at once. Made inside a callback of this socket, it waits
  // there too: its reply is taken in beside the callback, and the callbacks of what comes meanwhile run
  // after this one.
  ChannelResponse send(RealtimeListenTypes type, std::optional<std::string> event, helpers::JSONObject payload,
                       helpers::JSONObject opts = {});
  ChannelResponse track(helpers::JSONObject payload, helpers::JSONObject opts = {});
  ChannelResponse untrack(helpers::JSONObject opts = {});

  // Leaves: state leaving, a "phx_leave" pushed; the returned push's ok hooks have run already.
  std::shared_ptr<Push> unsubscribe(double timeout = Defaults::timeoutInterval);
  void rejoin(std::optional<double> timeout = std::nullopt);
  // Dispatches a message to the matching bindings.
  void trigger(const RealtimeMessage& message);

  // Kept for callers to replace; messages do not pass through it.
  std::function<RealtimeMessage(const RealtimeMessage&)> onMessage() const;
  void setOnMessage(std::function<RealtimeMessage(const RealtimeMessage&)> hook);

  // The REST broadcast URL of the socket's endpoint; none when it does not parse.
  std::optional<velmoria::base::URL> broadcastEndpointURL() const;

 private:
  friend class RealtimeClient;
  friend class Push;
  friend class Presence;
  struct State;

  static std::shared_ptr<RealtimeChannel> make(Passkey, std::string topic, helpers::JSONObject params,
                                               const std::shared_ptr<RealtimeClient>& socket);
  void start();
  // The application's, called out.
  std::shared_ptr<RealtimeChannel> addBinding(const std::string& event, const ChannelFilter& filter, Binding binding);
  // The socket's own (the lifecycle, pushes' replies, presence), run inside its calls.
  void addOwnBinding(const std::string& event, Binding binding);
  template <class Owner>
  void listen(const std::string& event, const std::shared_ptr<Owner>& owner,
              std::type_identity_t<std::function<void(Owner&, const RealtimeMessage&)>> callback) {
    Binding binding;
    binding.callback.bindWeak(std::weak_ptr<Owner>(owner), std::move(callback));
    addOwnBinding(event, std::move(binding));
  }
  void joinSucceeded();
  void joinFailed();
  void joinTimedOut();
  void closed(const RealtimeMessage& message);
  void errored(const RealtimeMessage& message);
  void routeReply(const RealtimeMessage& message);
  void verifyJoin(const RealtimeMessage& reply, const SubscribeCallback& callback);
  ChannelResponse broadcastOverREST(helpers::JSONObject payload, std::optional<std::string> event);
  const std::shared_ptr<SocketMutex>& socketMutex() const noexcept;

  std::unique_ptr<State> state_;
};

}  // namespace zirudeze::realtime
