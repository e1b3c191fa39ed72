#include "concurrency/AsyncStream.hpp"
#include "concurrency/CancellationError.hpp"
#include "helpers/SleepClock.hpp"
#include "realtime/RealtimeClientV2.hpp"

namespace zirudeze::realtime {

void RealtimeClientV2::listenForMessages(const std::weak_ptr<RealtimeClientV2>& client,
                                         const std::shared_ptr<WebSocket>& connection, const std::stop_token& stop) {
  auto made = concurrency::AsyncStream<WebSocketEvent>::makeStream(concurrency::BufferingPolicy::unbounded());
  const auto& events = made.first;
  const auto continuation = made.second;
  continuation.setOnTermination([socket = std::weak_ptr<WebSocket>(connection)](concurrency::StreamTermination) {
    if (const auto alive = socket.lock()) alive->setOnEvent(nullptr);
  });
  // Runs on the I/O thread under the socket's lock: it only hands the event over.
  connection->setOnEvent([continuation](const WebSocketEvent& event) {
    continuation.yield(event);
    if (event.isClose()) continuation.finish();
  });

  while (!stop.stop_requested()) {
    const auto event = events.next(stop);
    if (!event || stop.stop_requested()) return;
    const auto self = client.lock();
    if (!self) return;
    if (const auto* text = event->asText()) {
      std::optional<RealtimeMessageV2> message;
      try {
        message = RealtimeMessageV2::fromFrameText(text->text);
      } catch (...) {
        self->onError(std::current_exception(), stop);
        return;
      }
      if (message->topic() == "phoenix" && message->event() == "phx_reply") {
        const auto status = message->payload().find("status");
        const bool ok = status != message->payload().end() && status->second.stringValue() != nullptr &&
                        *status->second.stringValue() == "ok";
        self->heartbeatSubject_.yield(ok ? HeartbeatStatus::ok : HeartbeatStatus::error);
      }
      // The channel works outside the client's lock, one message at a time, in arrival order.
      if (const auto channel = self->onMessage(*message)) channel->onMessage(*message);
    } else if (event->asBinary() != nullptr) {
      self->logError("Unsupported binary event received.");
    } else if (const auto* close = event->asClose()) {
      self->onClose(close->code, close->reason, stop);
    }
  }
}

std::shared_ptr<RealtimeChannelV2> RealtimeClientV2::onMessage(const RealtimeMessageV2& message) {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  if (message.ref() && state_.pendingHeartbeatRef && *message.ref() == *state_.pendingHeartbeatRef) {
    state_.pendingHeartbeatRef.reset();
    logDebug("heartbeat received");
  } else if (options_.logger) {
    logDebug("Received event " + message.event() + " for channel " + message.topic());
  }
  for (const auto& channel : state_.channels) {
    if (channel->topic() == message.topic()) return channel;
  }
  return nullptr;
}

void RealtimeClientV2::onClose(std::optional<int> code, const std::string& reason, const std::stop_token& stop) {
  logDebug("WebSocket closed. Code: " + (code ? std::to_string(*code) : std::string("<none>")) +
           ", Reason: " + (reason.empty() ? std::string("<none>") : reason));
  reconnect(std::nullopt, stop);
}

void RealtimeClientV2::runHeartbeat(const std::weak_ptr<RealtimeClientV2>& client, double interval,
                                    const std::stop_token& stop) {
  while (!stop.stop_requested()) {
    try {
      helpers::currentSleepClock()->sleep(interval, stop);
    } catch (const concurrency::CancellationError&) {
    }
    if (stop.stop_requested()) return;
    const auto self = client.lock();
    if (!self) return;
    self->sendHeartbeat(stop);
  }
}

void RealtimeClientV2::sendHeartbeat(const std::stop_token& stop) {
  if (status() != RealtimeClientStatus::connected) {
    heartbeatSubject_.yield(HeartbeatStatus::disconnected);
    return;
  }
  std::optional<std::string> ref;
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    if (!state_.pendingHeartbeatRef) {
      ref = makeRef();
      state_.pendingHeartbeatRef = ref;
      // Published before it leaves, so the acknowledgement is always seen after it.
      heartbeatSubject_.yield(HeartbeatStatus::sent);
    }
  }
  if (ref) {
    push(RealtimeMessageV2(std::nullopt, ref, "phoenix", "heartbeat", {}));
    // Only a provider can renew the token; without one the token the client was given stays.
    if (options_.accessToken) setAuth();
    return;
  }
  logDebug("Heartbeat timeout - previous heartbeat not acknowledged");
  heartbeatSubject_.yield(HeartbeatStatus::timeout);
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    state_.pendingHeartbeatRef.reset();
  }
  reconnect("heartbeat timeout", stop);
}

}  // namespace zirudeze::realtime
