#include "concurrency/Task.hpp"
#include "helpers/LogRedaction.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "realtime/PostgresActions.hpp"
#include "realtime/PresenceV2.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/RealtimeError.hpp"
#include "realtime/WebSocket.hpp"

namespace zirudeze::realtime {

namespace {

// A message as it goes into a log line: its frame, with anything secret masked.
std::string rendering(const RealtimeMessageV2& message) {
  try {
    return helpers::redactingSecrets(message.frameText());
  } catch (...) {
    return "<" + message.event() + " on " + message.topic() + ">";
  }
}

// The events that belong to one join: after the channel joins again, those of an earlier join would undo
// the current one (a late close would take the live channel down).
bool isLifecycleEvent(const std::string& event) {
  return event == "phx_join" || event == "phx_leave" || event == "phx_reply" || event == "phx_error" ||
         event == "phx_close";
}

}  // namespace

void RealtimeChannelV2::onMessage(const RealtimeMessageV2& message) {
  try {
    handleMessage(message);
  } catch (...) {
    logDebug("Failed: " + localizedDescription(std::current_exception()));
  }
}

void RealtimeChannelV2::handleMessage(const RealtimeMessageV2& message) {
  using EventType = RealtimeMessageV2::EventType;
  if (message.joinRef() && isLifecycleEvent(message.event()) && *message.joinRef() != joinRef()) {
    logDebug("Dropping outdated " + message.event() + " of join " + *message.joinRef() + " on " + message.topic());
    return;
  }
  const auto eventType = message.eventType();
  if (!eventType) {
    logDebug("Received message without event type: " + rendering(message));
    return;
  }
  switch (*eventType) {
    case EventType::tokenExpired:
      return;
    case EventType::system:
      if (message.status() == PushStatus::ok) {
        logDebug("Subscribed to channel " + message.topic());
        setStatus(RealtimeChannelStatus::subscribed);
      } else {
        logDebug("Failed to subscribe to channel " + message.topic() + ": " +
                 helpers::redactingSecrets(helpers::AnyJSON(message.payload()).description()));
      }
      callbackManager_->triggerSystem(message);
      return;
    case EventType::reply:
      return handleReply(message);
    case EventType::postgresChanges:
      return handlePostgresChange(message);
    case EventType::broadcast: {
      const auto event = message.payload().find("event");
      if (event == message.payload().end() || event->second.stringValue() == nullptr) {
        throw RealtimeError("Expected 'event' key in 'payload' for broadcast event.");
      }
      callbackManager_->triggerBroadcast(*event->second.stringValue(), message.payload());
      return;
    }
    case EventType::close:
      if (const auto client = socket()) client->removeChannelFromRegistry(topic_);
      logDebug("Unsubscribed from channel " + message.topic());
      setStatus(RealtimeChannelStatus::unsubscribed);
      return;
    case EventType::error:
      logError("Received an error in channel " + message.topic() +
               ". That could be as a result of an invalid access token");
      return;
    case EventType::presenceDiff: {
      const PresenceActionImpl action = presenceDiffAction(message);
      callbackManager_->triggerPresenceDiffs(action.joins, action.leaves, message);
      return;
    }
    case EventType::presenceState: {
      const PresenceActionImpl action = presenceStateAction(message);
      callbackManager_->triggerPresenceDiffs(action.joins, {}, message);
      return;
    }
  }
}

void RealtimeChannelV2::handleReply(const RealtimeMessageV2& message) {
  const auto status = message.payload().find("status");
  if (!message.ref() || status == message.payload().end() || status->second.stringValue() == nullptr) {
    throw RealtimeError("Received a reply with unexpected payload: " + rendering(message));
  }
  std::shared_ptr<PushV2> push;
  {
    const velmoria::base::MutexLock lock(mutex_);
    if (const auto pending = state_.pushes.find(*message.ref()); pending != state_.pushes.end()) {
      push = std::move(pending->second);
      state_.pushes.erase(pending);
    }
  }
  if (push) push->didReceive(makePushStatus(*status->second.stringValue()).value_or(PushStatus::ok));

  if (auto accepted = acceptedPostgresChanges(message)) {
    callbackManager_->setServerChanges(std::move(*accepted));
    if (this->status() != RealtimeChannelStatus::subscribed) {
      setStatus(RealtimeChannelStatus::subscribed);
      logDebug("Subscribed to channel " + message.topic());
    }
  }
}

void RealtimeChannelV2::handlePostgresChange(const RealtimeMessageV2& message) {
  if (message.payload().find("data") == message.payload().end()) {
    logDebug("Expected \"data\" key in message payload.");
    return;
  }
  const PostgresChange change = decodePostgresChange(message);
  callbackManager_->triggerPostgresChanges(change.ids, change.action);
}

helpers::ObservationToken RealtimeChannelV2::removalToken(const char* kind, std::int64_t id) const {
  return helpers::ObservationToken(
      [manager = std::weak_ptr<CallbackManager>(callbackManager_), logger = logger_, kind, id] {
        if (logger) logger->debug("Removing " + std::string(kind) + " callback with id: " + std::to_string(id));
        if (const auto alive = manager.lock()) alive->removeCallback(id);
      });
}

helpers::ObservationToken RealtimeChannelV2::onPostgresChangeCore(PostgresChangeEvent event, std::string schema,
                                                                  std::optional<std::string> table,
                                                                  std::optional<std::string> filter,
                                                                  std::function<void(const AnyAction&)> callback) {
  if (status() == RealtimeChannelStatus::subscribed) {
    VM_REPORT_ISSUE("You cannot call postgresChange after joining the channel, this won't work as expected.");
    return helpers::ObservationToken();
  }
  PostgresJoinConfig config{event, std::move(schema), std::move(table), std::move(filter), 0};
  {
    // In place before this returns, so a join started right after asks for it.
    const velmoria::base::MutexLock lock(mutex_);
    state_.clientChanges.push_back(config);
  }
  const std::int64_t id = callbackManager_->addPostgresCallback(std::move(config), std::move(callback));
  return removalToken("postgres", id);
}

helpers::ObservationToken RealtimeChannelV2::onBroadcast(std::string event,
                                                         std::function<void(const helpers::JSONObject&)> callback) {
  return removalToken("broadcast", callbackManager_->addBroadcastCallback(std::move(event), std::move(callback)));
}

helpers::ObservationToken RealtimeChannelV2::onSystem(std::function<void(const RealtimeMessageV2&)> callback) {
  return removalToken("system", callbackManager_->addSystemCallback(std::move(callback)));
}

helpers::ObservationToken RealtimeChannelV2::onSystem(std::function<void()> callback) {
  return onSystem(std::function<void(const RealtimeMessageV2&)>(
      [callback = std::move(callback)](const RealtimeMessageV2&) { callback(); }));
}

helpers::ObservationToken RealtimeChannelV2::onPresenceChange(std::function<void(const PresenceActionImpl&)> callback) {
  const auto token = removalToken("presence", callbackManager_->addPresenceCallback(std::move(callback)));
  if (status() == RealtimeChannelStatus::subscribed) {
    logDebug("Resubscribe to " + topic_ + " due to change in presence callback on joined channel.");
    // After the registration, so the new join announces presence.
    concurrency::Task<void>([channel = weak_from_this()] {
      if (const auto alive = channel.lock()) {
        alive->unsubscribe();
        alive->subscribe();
      }
    });
  }
  return token;
}

}  // namespace zirudeze::realtime
