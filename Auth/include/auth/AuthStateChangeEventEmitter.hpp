#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "auth/AuthEnumerations.hpp"
#include "auth/Session.hpp"
#include "base/ThreadSafety.hpp"
#include "helpers/EventEmitter.hpp"
#include "helpers/ObservationToken.hpp"
#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::auth {

// Posted on the default notification centre for every auth state change: no object; the user info holds
// the AuthChangeEvent under the event key and a std::optional<Session> (present even when empty) under
// the session key.
inline constexpr std::string_view kDidChangeAuthStateNotification = "AuthClient.didChangeAuthStateNotification";
inline constexpr std::string_view kAuthChangeEventKey = "AuthClient.authChangeEvent";
inline constexpr std::string_view kAuthChangeSessionKey = "AuthClient.authChangeSession";

// A listener's registration: remove() (the token's cancel) ends it; removing twice does nothing.
using AuthStateChangeListenerRegistration = helpers::ObservationToken;

// Announces an auth client's state changes, first as a notification for observers that know nothing
// of the client, then to the client's own listeners. Nothing is replayed to a late listener.
//
// Events are delivered in the order they were posted, one at a time, by one thread at a time, with no
// lock held: whichever thread delivers when an event is posted delivers it too, after the one it is on
// (every listener and observer hears an event before anyone hears the next). A listener may therefore
// block, use the client, or wait for another thread that changes the session; what it or any other thread
// emits meanwhile waits its turn, and the emitting call returns without waiting for it.
class AuthStateChangeEventEmitter {
 public:
  using Listener = std::function<void(AuthChangeEvent, const std::optional<Session>&)>;

  // With a logger, each delivery is logged at level verbose.
  explicit AuthStateChangeEventEmitter(std::shared_ptr<const helpers::ZirudezeLogger> logger = nullptr);

  // Posts the event, then delivers what is pending unless another delivery is under way. With a token,
  // only the listener registered under it hears the event (the notification is posted either way).
  void emit(AuthChangeEvent event, const std::optional<Session>& session,
            const std::optional<helpers::ObservationToken>& token = std::nullopt);
  // Only puts the event in line: the session manager posts under its lock, in the order of its changes,
  // and delivers once it has let go of it.
  void post(AuthChangeEvent event, const std::optional<Session>& session,
            const std::optional<helpers::ObservationToken>& token = std::nullopt);
  // Delivers every posted event, unless a delivery is already under way (on this thread or another),
  // which then delivers them. A listener that throws is reported as an issue; the others still hear it.
  void deliverPending();

  // The listener stays registered while the returned token lives and is not removed.
  AuthStateChangeListenerRegistration attach(Listener listener);
  // The same for a listener about to be sent its initial event through `emit` with its token: until
  // that has reached it, whatever is emitted to everyone is held back, then delivered after it in
  // emission order. So the listener's first event is its own, and nothing it hears afterwards is older.
  AuthStateChangeListenerRegistration attachHeldUntilAddressed(Listener listener);

 private:
  struct Change {
    AuthChangeEvent event;
    std::optional<Session> session;
    // Emitted to one listener's token rather than to every listener.
    bool addressed;
  };
  using StateChange = std::optional<Change>;
  struct Pending {
    AuthChangeEvent event;
    std::optional<Session> session;
    std::optional<helpers::ObservationToken> token;
  };

  void deliver(const Pending& change);

  helpers::EventEmitter<StateChange> emitter_;
  std::shared_ptr<const helpers::ZirudezeLogger> logger_;
  velmoria::base::Mutex mutex_;
  std::deque<Pending> pending_ VM_GUARDED_BY(mutex_);
  bool delivering_ VM_GUARDED_BY(mutex_) = false;
};

}  // namespace zirudeze::auth
