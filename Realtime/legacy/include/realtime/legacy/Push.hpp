#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "helpers/AnyJSON.hpp"
#include "realtime/RealtimeStatus.hpp"
#include "realtime/legacy/Delegated.hpp"
#include "realtime/legacy/RealtimeMessage.hpp"

namespace zirudeze::realtime {

class RealtimeChannel;
class SocketMutex;
class TimerQueue;

// One outbound message of a legacy channel and the wait for its reply: a fresh ref on each send, a binding
// on the channel for the reply under "chan_reply_" + ref, the hooks of the reply's status, and a timeout
// that answers {"status": "timeout"} when no reply comes in time. Holds its channel weakly; a push whose
// channel or socket is gone sends nothing and never times out.
class Push : public std::enable_shared_from_this<Push> {
  struct Passkey {
    explicit Passkey() = default;
  };

 public:
  using Hook = Delegated<void(const RealtimeMessage&)>;

  // Nothing is sent yet.
  static std::shared_ptr<Push> make(const std::shared_ptr<RealtimeChannel>& channel, std::string event,
                                    helpers::JSONObject payload, double timeout);
  Push(Passkey, const std::shared_ptr<RealtimeChannel>& channel, std::string event, helpers::JSONObject payload,
       double timeout);
  ~Push();
  Push(const Push&) = delete;
  Push& operator=(const Push&) = delete;

  std::shared_ptr<RealtimeChannel> channel() const;
  const std::string& event() const noexcept;
  helpers::JSONObject payload() const;
  void setPayload(helpers::JSONObject payload);
  double timeout() const;
  void setTimeout(double seconds);
  std::optional<RealtimeMessage> receivedMessage() const;
  bool sent() const;
  std::optional<std::string> ref() const;
  std::optional<std::string> refEvent() const;

  // Sends now or when the socket opens, unless a timeout was already delivered for this send.
  void send();
  // A new timeout, then reset and send.
  void resend(double timeout);
  // Runs `callback` for replies of this status, at once too when such a reply already came.
  std::shared_ptr<Push> receive(PushStatus status, std::function<void(const RealtimeMessage&)> callback);
  template <class Owner>
  std::shared_ptr<Push> delegateReceive(PushStatus status, const std::shared_ptr<Owner>& owner,
                                        std::type_identity_t<std::function<void(Owner&, const RealtimeMessage&)>> cb) {
    Hook hook;
    hook.bindWeak(std::weak_ptr<Owner>(owner), std::move(cb));
    return addHook(status, std::move(hook));
  }
  // Forgets the current send (ref, reply binding, received reply); a pending timeout then finds nothing
  // to answer.
  void reset();
  // A fresh ref, the reply binding and the timeout.
  void startTimeout();
  bool hasReceived(PushStatus status) const;
  // Delivers a reply made here, with "status" set, through the reply binding.
  void trigger(PushStatus status, helpers::JSONObject payload);

 private:
  friend class RealtimeChannel;
  struct State;

  // The application's, called out.
  std::shared_ptr<Push> addHook(PushStatus status, Hook hook);
  // The channel's own, run inside the socket's calls.
  void addOwnHook(PushStatus status, Hook hook);
  template <class Owner>
  void listen(PushStatus status, const std::shared_ptr<Owner>& owner,
              std::type_identity_t<std::function<void(Owner&, const RealtimeMessage&)>> callback) {
    Hook hook;
    hook.bindWeak(std::weak_ptr<Owner>(owner), std::move(callback));
    addOwnHook(status, std::move(hook));
  }
  void listen(PushStatus status, std::function<void(const RealtimeMessage&)> callback);
  // Called with every reply, also one without a status.
  void onAnswer(std::function<void(const RealtimeMessage&)> observer);
  void reply(const RealtimeMessage& message);
  void cancelRefEvent();
  void cancelTimeout();
  void matchReceive(PushStatus status, const RealtimeMessage& message);

  std::unique_ptr<State> state_;
};

}  // namespace zirudeze::realtime
