// The legacy socket's run time: connecting, closing, the heartbeat, reconnection, the send buffer and the
// routing of what arrives.
#include <cstdio>

#include "ClientState.hpp"
#include "EndpointURL.hpp"
#include "base/coding/CodingErrors.hpp"
#include "helpers/ErrorDescription.hpp"
#include "helpers/LogRedaction.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"

namespace zirudeze::realtime {

namespace {

std::string bytesAsText(const velmoria::base::Data& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

void RealtimeClient::Reports::onOpen(const std::optional<helpers::HTTPURLResponse>& response) {
  if (const auto client = client_.lock()) client->onConnectionOpen(source_, response);
}

void RealtimeClient::Reports::onError(const std::exception_ptr& error,
                                      const std::optional<helpers::HTTPURLResponse>& response) {
  if (const auto client = client_.lock()) client->onConnectionError(source_, error, response);
}

void RealtimeClient::Reports::onMessage(const std::string& message) {
  if (const auto client = client_.lock()) client->onConnectionMessage(source_, message);
}

void RealtimeClient::Reports::onClose(int code, const std::optional<std::string>& reason) {
  if (const auto client = client_.lock()) client->onConnectionClosed(source_, code, reason);
}

void RealtimeClient::connect() {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (state.connected()) return;
  state.closeStatus = CloseStatus::unknown;
  state.endPointUrl = detail::legacyEndpointURL(state.endPoint, state.currentParams(), state.vsn);
  if (state.connection) {
    // A connection still opening would otherwise open beside the new one and report to this client.
    state.connection->setDelegate({});
    state.connection->disconnect(static_cast<int>(CloseCode::normal), std::nullopt);
  }
  state.connection = state.transport(state.endPointUrl);
  state.reports = std::make_shared<Reports>(weak_from_this());
  state.reports->bind(state.connection.get());
  state.connection->setDelegate(state.reports);
  state.connection->connect(state.headers);
}

void RealtimeClient::disconnect(CloseCode code, std::optional<std::string> reason, std::function<void()> callback) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  state.closeStatus = closeStatusFor(code);
  state.reconnectTimer->reset();
  teardown(code, std::move(reason), std::move(callback));
}

void RealtimeClient::teardown(CloseCode code, std::optional<std::string> reason, std::function<void()> callback) {
  SocketLock lock(state_->mutex);
  closeConnection(code, reason);
  if (callback) state_->lock->callOut(std::move(callback));
}

void RealtimeClient::closeConnection(CloseCode code, const std::optional<std::string>& reason) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (const auto connection = std::move(state.connection)) {
    state.connection = nullptr;
    connection->setDelegate({});
    connection->disconnect(static_cast<int>(code), reason);
  }
  state.reports.reset();
  // The transport's close report no longer comes here, so the channels hear of the close now: joined
  // there, they are not on the next connection, and its open rejoins them.
  triggerChannelError();
  if (state.heartbeatTimer) state.heartbeatTimer->stop();
  const auto callbacks = state.stateChangeCallbacks.close;
  for (const auto& [ref, delegate] : callbacks) delegate.call(static_cast<int>(code), reason);
}

void RealtimeClient::push(const std::string& topic, const std::string& event, helpers::JSONObject payload,
                          std::optional<std::string> ref, std::optional<std::string> joinRef) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  helpers::AnyJSON message(helpers::JSONArray{joinRef ? helpers::AnyJSON(*joinRef) : helpers::AnyJSON(),
                                              ref ? helpers::AnyJSON(*ref) : helpers::AnyJSON(), topic, event,
                                              std::move(payload)});
  auto send = [weak = weak_from_this(), message = std::move(message), event] {
    const auto client = weak.lock();
    if (!client) return;
    State& held = *client->state_;
    SocketLock relock(held.mutex);
    velmoria::base::Data bytes;
    try {
      bytes = held.encode(message);
    } catch (const std::exception& failure) {
      held.log({"push", "Unable to encode " + event + ": " + failure.what()});
      return;
    }
    if (held.logger) held.log({"push", "Sending " + helpers::redactingSecretsInJSON(bytesAsText(bytes))});
    if (held.connection) held.connection->send(bytes);
  };
  if (state.connected()) return send();
  state.sendBuffer.push_back(State::BufferedSend{std::move(ref), std::move(send)});
}

void RealtimeClient::flushSendBuffer() {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (!state.connected() || state.sendBuffer.empty()) return;
  const auto buffered = std::move(state.sendBuffer);
  state.sendBuffer.clear();
  for (const auto& entry : buffered) entry.send();
}

void RealtimeClient::removeFromSendBuffer(const std::string& ref) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  std::erase_if(state.sendBuffer, [&](const State::BufferedSend& entry) { return entry.ref == ref; });
}

void RealtimeClient::resetHeartbeat() {
  State& state = *state_;
  SocketLock lock(state.mutex);
  state.pendingHeartbeatRef.reset();
  if (state.heartbeatTimer) state.heartbeatTimer->stop();
  if (state.skipHeartbeat) return;
  state.heartbeatTimer =
      std::make_unique<HeartbeatTimer>(state.heartbeatInterval, state.heartbeatLeeway, state.timers, state.lock);
  state.heartbeatTimer->start([weak = weak_from_this()] {
    if (const auto client = weak.lock()) client->sendHeartbeat();
  });
}

void RealtimeClient::sendHeartbeat() {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (!state.connected()) return;
  if (state.pendingHeartbeatRef) {
    state.pendingHeartbeatRef.reset();
    state.log({"transport", "heartbeat timeout. Attempting to re-establish connection"});
    state.closeStatus = CloseStatus::abnormal;
    // No teardown: the transport's close report still comes here and schedules the reconnect.
    state.connection->disconnect(static_cast<int>(CloseCode::normal), "heartbeat timeout");
    return;
  }
  state.pendingHeartbeatRef = state.nextRef();
  push("phoenix", std::string(ChannelEvent::heartbeat), {}, state.pendingHeartbeatRef);
}

void RealtimeClient::triggerChannelError() {
  State& state = *state_;
  SocketLock lock(state.mutex);
  const auto channels = state.channels;
  for (const auto& channel : channels) {
    if (channel->isErrored() || channel->isLeaving() || channel->isClosed()) continue;
    // Carries the join reference as its ref too, so the channel's error handler takes it.
    const std::optional<std::string> joinRef = channel->joinRef();
    channel->trigger(
        RealtimeMessage{joinRef.value_or(""), joinRef, channel->topic(), std::string(ChannelEvent::error), {}});
  }
}

void RealtimeClient::onConnectionOpen(const SocketTransport* source, const Response& response) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (source != state.connection.get()) return;
  state.log({"transport", "Connected to " + state.endPoint});
  state.closeStatus = CloseStatus::unknown;
  flushSendBuffer();
  state.reconnectTimer->reset();
  resetHeartbeat();
  const auto callbacks = state.stateChangeCallbacks.open;
  for (const auto& [ref, delegate] : callbacks) delegate.call(response);
}

void RealtimeClient::onConnectionError(const SocketTransport* source, const std::exception_ptr& error,
                                       const Response& response) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (source != state.connection.get()) return;
  state.log({"transport", helpers::localizedDescription(error),
             response ? "HTTP " + std::to_string(response->statusCode) + " " + response->url : std::string()});
  triggerChannelError();
  const auto callbacks = state.stateChangeCallbacks.error;
  for (const auto& [ref, delegate] : callbacks) delegate.call(error, response);
}

void RealtimeClient::onConnectionClosed(const SocketTransport* source, int code,
                                        const std::optional<std::string>& reason) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (source != state.connection.get()) return;
  state.closeStatus = updatedCloseStatus(state.closeStatus, code);
  state.log({"transport", "close"});
  triggerChannelError();
  if (state.heartbeatTimer) state.heartbeatTimer->stop();
  if (shouldReconnect(state.closeStatus)) state.reconnectTimer->scheduleTimeout();
  const auto callbacks = state.stateChangeCallbacks.close;
  for (const auto& [ref, delegate] : callbacks) delegate.call(code, reason);
}

void RealtimeClient::onConnectionMessage(const SocketTransport* source, const std::string& raw) {
  State& state = *state_;
  SocketLock lock(state.mutex);
  if (source != state.connection.get()) return;
  if (state.logger) state.log({"receive ", helpers::redactingSecretsInJSON(raw)});
  const velmoria::base::Data bytes(raw.begin(), raw.end());
  std::optional<helpers::AnyJSON> json = state.decode(bytes);
  const std::optional<RealtimeMessage> message = json ? RealtimeMessage::fromJSON(*json) : std::nullopt;
  if (!message) {
    if (state.logger) state.log({"receive: Unable to parse JSON: " + helpers::redactingSecretsInJSON(raw)});
    return;
  }
  if (state.pendingHeartbeatRef && *state.pendingHeartbeatRef == message->ref) state.pendingHeartbeatRef.reset();
  if (message->event == ChannelEvent::close) {
    std::fputs("Close Event Received\n", stdout);
    std::fflush(stdout);
  }
  const bool lifecycle = ChannelEvent::isLifecycleEvent(message->event);
  std::vector<std::shared_ptr<RealtimeChannel>> members;
  const auto channels = state.channels;
  for (const auto& channel : channels) {
    if (channel->topic() != message->topic) continue;
    const std::optional<std::string> joinRef = channel->joinRef();
    if (!message->joinRef || (joinRef && joinRef == message->joinRef) || !lifecycle) {
      members.push_back(channel);
    } else {
      state.log({"channel", "dropping outdated message", message->topic, message->event,
                 describe(helpers::AnyJSON(message->rawPayload)), *message->joinRef});
    }
  }
  for (const auto& channel : members) channel->trigger(*message);
  const auto callbacks = state.stateChangeCallbacks.message;
  for (const auto& [ref, delegate] : callbacks) delegate.call(*message);
}

}  // namespace zirudeze::realtime
