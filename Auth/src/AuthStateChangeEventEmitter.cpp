#include "auth/AuthStateChangeEventEmitter.hpp"

#include <any>
#include <map>
#include <string>

#include "base/Date.hpp"
#include "helpers/LogRedaction.hpp"
#include "helpers/NotificationCenter.hpp"

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

}  // namespace

AuthStateChangeEventEmitter::AuthStateChangeEventEmitter(std::shared_ptr<const helpers::ZirudezeLogger> logger)
    : emitter_(std::nullopt, false), logger_(std::move(logger)) {}

void AuthStateChangeEventEmitter::emit(AuthChangeEvent event, const std::optional<Session>& session,
                                       const std::optional<helpers::ObservationToken>& token) {
  helpers::NotificationCenter::defaultCenter().post(
      std::string(kDidChangeAuthStateNotification), {},
      {{std::string(kAuthChangeEventKey), event}, {std::string(kAuthChangeSessionKey), session}});
  StateChange change = std::pair{event, session};
  if (token)
    emitter_.emit(std::move(change), *token);
  else
    emitter_.emit(std::move(change));
}

AuthStateChangeListenerRegistration AuthStateChangeEventEmitter::attach(Listener listener) {
  return emitter_.attach([listener = std::move(listener), logger = logger_](const StateChange& change) {
    if (!change) return;
    listener(change->first, change->second);
    if (logger) {
      logger->emit(helpers::ZirudezeLogLevel::verbose, "Auth state changed: " + describe(change->first, change->second),
                   helpers::LogSite{"Auth/EventEmitter.cpp", "attach(_:)", static_cast<std::uint64_t>(__LINE__)});
    }
  });
}

}  // namespace zirudeze::auth
