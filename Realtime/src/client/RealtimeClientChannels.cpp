#include <algorithm>
#include <utility>

#include "concurrency/CurrentTask.hpp"
#include "helpers/LogRedaction.hpp"
#include "realtime/RealtimeClientV2.hpp"

namespace zirudeze::realtime {

std::vector<std::shared_ptr<RealtimeChannelV2>> RealtimeClientV2::channels() const {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  return state_.channels;
}

std::shared_ptr<RealtimeChannelV2> RealtimeClientV2::channel(
    const std::string& name, const std::function<void(RealtimeChannelConfig&)>& configure) {
  const std::string topic = "realtime:" + name;
  const auto registered = [&]() VM_REQUIRES(mutex_) -> std::shared_ptr<RealtimeChannelV2> {
    for (const auto& channel : state_.channels) {
      if (channel->topic() == topic) return channel;
    }
    return nullptr;
  };
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    if (auto found = registered()) return found;
  }
  // The caller's configuration runs outside the lock.
  RealtimeChannelConfig config;
  if (configure) configure(config);
  auto made = RealtimeChannelV2::make(topic, std::move(config), weak_from_this(), options_.logger);
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  if (auto found = registered()) return found;
  state_.channels.push_back(made);
  return made;
}

void RealtimeClientV2::addChannel(const std::shared_ptr<RealtimeChannelV2>& channel) {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  auto& channels = state_.channels;
  const auto same = std::find_if(channels.begin(), channels.end(),
                                 [&](const auto& registered) { return registered->topic() == channel->topic(); });
  if (same != channels.end()) {
    *same = channel;
  } else {
    channels.push_back(channel);
  }
}

void RealtimeClientV2::removeChannel(const std::shared_ptr<RealtimeChannelV2>& channel) {
  bool registered = false;
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    registered = std::find(state_.channels.begin(), state_.channels.end(), channel) != state_.channels.end();
  }
  // A stale handle's leave would name the topic another channel holds now, and the server would drop that one.
  if (registered && channel->status() == RealtimeChannelStatus::subscribed) channel->unsubscribe();
  // Emptying and disconnecting are one step: the server's close may empty the registry under concurrent
  // removals, and only one of them may disconnect.
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  std::erase(state_.channels, channel);
  if (!state_.channels.empty()) return;
  // Pushes waiting for a connection count too: none of them may go out once every channel is gone.
  const bool live = status() != RealtimeClientStatus::disconnected || state_.conn || state_.connectionTask ||
                    state_.reconnectTask || !state_.sendBuffer.empty();
  if (!live) return;
  logDebug("No more subscribed channel in socket");
  disconnect();
}

void RealtimeClientV2::removeAllChannels() {
  const auto registered = channels();
  std::vector<concurrency::Task<void>> removals;
  removals.reserve(registered.size());
  for (const auto& channel : registered) {
    removals.emplace_back([client = weak_from_this(), channel] {
      if (const auto self = client.lock()) self->removeChannel(channel);
    });
  }
  const std::stop_callback forward(concurrency::currentStopToken(), [&removals] {
    for (const auto& removal : removals) removal.cancel();
  });
  for (const auto& removal : removals) (void)removal.result();
}

void RealtimeClientV2::removeChannelFromRegistry(const std::string& topic) {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  std::erase_if(state_.channels, [&](const auto& registered) { return registered->topic() == topic; });
}

bool RealtimeClientV2::registerChannel(const std::shared_ptr<RealtimeChannelV2>& channel) {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  for (const auto& registered : state_.channels) {
    if (registered->topic() == channel->topic()) return registered == channel;
  }
  state_.channels.push_back(channel);
  return true;
}

std::string RealtimeClientV2::makeRef() {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  return std::to_string(++state_.ref);
}

std::optional<std::string> RealtimeClientV2::accessToken() const {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  return state_.accessToken;
}

void RealtimeClientV2::push(RealtimeMessageV2 message) {
  auto action = [client = weak_from_this(), message = std::move(message)] { send(client, message); };
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  if (status() == RealtimeClientStatus::connected) {
    action();
  } else {
    state_.sendBuffer.push_back(std::move(action));
  }
}

void RealtimeClientV2::send(const std::weak_ptr<RealtimeClientV2>& client, const RealtimeMessageV2& message) {
  std::string text;
  try {
    concurrency::checkCancellation();
    text = message.frameText();
  } catch (...) {
    const auto error = std::current_exception();
    if (const auto self = client.lock()) {
      std::string rendering;
      try {
        rendering = message.frameText();
      } catch (...) {
        rendering = "{\"topic\":\"" + message.topic() + "\",\"event\":\"" + message.event() + "\"}";
      }
      self->logError("Failed to send message:\n" + helpers::redactingSecrets(rendering) + "\n\nError:\n" +
                     helpers::redactingSecrets(localizedDescription(error)));
    }
    return;
  }
  const auto self = client.lock();
  if (!self) return;
  std::shared_ptr<WebSocket> connection;
  {
    const velmoria::base::RecursiveMutexLock lock(self->mutex_);
    connection = self->state_.conn;
  }
  if (connection) connection->send(std::move(text));
}

void RealtimeClientV2::setAuth(std::optional<std::string> token) {
  if (!token && options_.accessToken) {
    try {
      token = options_.accessToken();
    } catch (...) {
      token.reset();  // a failing provider counts as no token
    }
  }
  std::vector<std::shared_ptr<RealtimeChannelV2>> registered;
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    if (token == state_.accessToken) return;
    state_.accessToken = token;
    registered = state_.channels;
  }
  for (const auto& channel : registered) {
    if (channel->status() != RealtimeChannelStatus::subscribed) continue;
    logDebug("Updating auth token for channel " + channel->topic());
    channel->push("access_token", std::nullopt,
                  helpers::JSONObject{{"access_token", token ? helpers::AnyJSON(*token) : helpers::AnyJSON(nullptr)}});
  }
}

}  // namespace zirudeze::realtime
