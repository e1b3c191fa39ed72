#include "auth/AuthStateChangeEventEmitter.hpp"

#include <any>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "base/Date.hpp"
#include "concurrency/LockIsolated.hpp"
#include "helpers/ErrorDescription.hpp"
#include "helpers/LogRedaction.hpp"
#include "helpers/NotificationCenter.hpp"
#include "issuereporting/ReportIssue.hpp"

namespace zirudeze::auth {
namespace {

// Readable, with the tokens masked: a log must never carry them whole.
std::string describe(AuthChangeEvent event, const std::optional<Session>& session) {
  std::string text = "(" + std::string(rawValue(event)) + ", ";
  if (!session) return text + "no session)";
  text += "Session(user: " + session->user.id.uuidString() +
          ", accessToken: " + helpers::maskedSecret(session->accessToken) +
          ", refreshToken: " + helpers::maskedSecret(session->refreshToken) +
          ", expiresAt: " + std::to_string(session->expiresAt) + "))";
  return text;
}

// Calls the listener, then logs the delivery when there is a logger.
AuthStateChangeEventEmitter::Listener delivery(AuthStateChangeEventEmitter::Listener listener,
                                               std::shared_ptr<const helpers::ZirudezeLogger> logger) {
  return [listener = std::move(listener), logger = std::move(logger)](AuthChangeEvent event,
                                                                      const std::optional<Session>& session) {
    try {
      listener(event, session);
    } catch (...) {
      // A listener has no one to hand a failure to: the thread delivering may be any, and the listeners
      // after it and the events after this one must still be heard.
      VM_REPORT_ISSUE("An auth state change listener failed: " +
                      helpers::localizedDescription(std::current_exception()));
    }
    if (logger) {
      logger->emit(helpers::ZirudezeLogLevel::verbose, "Auth state changed: " + describe(event, session),
                   helpers::LogSite{"Auth/EventEmitter.cpp", "attach(_:)", static_cast<std::uint64_t>(__LINE__)});
    }
  };
}

}  // namespace

AuthStateChangeEventEmitter::AuthStateChangeEventEmitter(std::shared_ptr<const helpers::ZirudezeLogger> logger)
    : emitter_(std::nullopt, false), logger_(std::move(logger)) {}

void AuthStateChangeEventEmitter::emit(AuthChangeEvent event, const std::optional<Session>& session,
                                       const std::optional<helpers::ObservationToken>& token) {
  post(event, session, token);
  deliverPending();
}

void AuthStateChangeEventEmitter::post(AuthChangeEvent event, const std::optional<Session>& session,
                                       const std::optional<helpers::ObservationToken>& token) {
  const velmoria::base::MutexLock lock(mutex_);
  pending_.push_back(Pending{event, session, token});
}

void AuthStateChangeEventEmitter::deliverPending() {
  {
    const velmoria::base::MutexLock lock(mutex_);
    if (delivering_ || pending_.empty()) return;
    delivering_ = true;
  }
  for (;;) {
    std::optional<Pending> next;
    {
      const velmoria::base::MutexLock lock(mutex_);
      // Found empty and handed back in one step: an event posted after this is delivered by its poster.
      if (pending_.empty()) {
        delivering_ = false;
        return;
      }
      next = std::move(pending_.front());
      pending_.pop_front();
    }
    deliver(*next);
  }
}

void AuthStateChangeEventEmitter::deliver(const Pending& change) {
  try {
    helpers::NotificationCenter::defaultCenter().post(
        std::string(kDidChangeAuthStateNotification), {},
        {{std::string(kAuthChangeEventKey), change.event}, {std::string(kAuthChangeSessionKey), change.session}});
  } catch (...) {
    // As for a listener: the client's own listeners still hear the event.
    VM_REPORT_ISSUE("An auth state change observer failed: " + helpers::localizedDescription(std::current_exception()));
  }
  if (change.token)
    emitter_.emit(Change{change.event, change.session, true}, *change.token);
  else
    emitter_.emit(Change{change.event, change.session, false});
}

AuthStateChangeListenerRegistration AuthStateChangeEventEmitter::attach(Listener listener) {
  return emitter_.attach([deliver = delivery(std::move(listener), logger_)](const StateChange& change) {
    if (change) deliver(change->event, change->session);
  });
}

AuthStateChangeListenerRegistration AuthStateChangeEventEmitter::attachHeldUntilAddressed(Listener listener) {
  struct Hold {
    bool addressedTaken = false;
    bool released = false;
    std::deque<Change> held;
  };
  const auto hold = std::make_shared<concurrency::LockIsolated<Hold>>(Hold{});
  return emitter_.attach([deliver = delivery(std::move(listener), logger_), hold](const StateChange& change) {
    if (!change) return;
    enum class Step { deliverNow, heldBack, deliverThenRelease };
    const auto step = hold->withValue([&](Hold& state) {
      if (state.released) return Step::deliverNow;
      if (change->addressed && !state.addressedTaken) {
        state.addressedTaken = true;
        return Step::deliverThenRelease;
      }
      state.held.push_back(*change);
      return Step::heldBack;
    });
    if (step == Step::heldBack) return;
    deliver(change->event, change->session);
    if (step == Step::deliverNow) return;
    // Events emitted while these are delivered (also by the listener itself) queue behind them; the
    // hold ends only once nothing is left, so the order stays the emission order.
    while (true) {
      const auto next = hold->withValue([](Hold& state) -> StateChange {
        if (state.held.empty()) {
          state.released = true;
          return std::nullopt;
        }
        Change first = std::move(state.held.front());
        state.held.pop_front();
        return first;
      });
      if (!next) return;
      deliver(next->event, next->session);
    }
  });
}

}  // namespace zirudeze::auth
