// A legacy channel's life: construction, subscribe with its join verification, rejoins, pushes and leave.
#include "realtime/legacy/RealtimeChannel.hpp"

#include <stdexcept>

#include "ChannelState.hpp"
#include "EndpointURL.hpp"
#include "realtime/legacy/RealtimeClient.hpp"

namespace zirudeze::realtime {

namespace {

constexpr std::string_view kRealtimePrefix = "realtime:";

std::string withoutPrefix(std::string topic) {
  for (std::size_t at = topic.find(kRealtimePrefix); at != std::string::npos; at = topic.find(kRealtimePrefix, at)) {
    topic.erase(at, kRealtimePrefix.size());
  }
  return topic;
}

// A failed reply as the subscribe callback hears it: each payload value's description and a blank,
// joined by ", "; "error" for an empty payload.
RealtimeError errorFrom(const RealtimeMessage& message) {
  const helpers::JSONObject& payload = message.payload();
  if (payload.empty()) return RealtimeError(std::string("error"));
  std::string text;
  for (const auto& [key, value] : payload) {
    if (!text.empty()) text += ", ";
    text += describe(value) + " ";
  }
  return RealtimeError(text);
}

std::optional<std::string> textMember(const helpers::JSONObject& object, const std::string& key) {
  const auto found = object.find(key);
  if (found == object.end()) return std::nullopt;
  const std::string* text = found->second.stringValue();
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::optional<std::string> filterValue(const std::map<std::string, std::string>& filter, const std::string& key) {
  const auto found = filter.find(key);
  return found == filter.end() ? std::nullopt : std::optional<std::string>(found->second);
}

}  // namespace

RealtimeChannel::State::State(std::string fullTopic, helpers::JSONObject joinParams,
                              const std::shared_ptr<RealtimeClient>& owner, std::shared_ptr<SocketMutex> socketLock)
    : lock(std::move(socketLock)),
      topic(std::move(fullTopic)),
      subTopic(withoutPrefix(topic)),
      socket(owner),
      params(std::move(joinParams)),
      timeout(owner->timeout()),
      onMessage([](const RealtimeMessage& message) { return message; }) {}

bool RealtimeChannel::State::canPush() const {
  const auto client = socket.lock();
  return client && client->isConnected() && state == ChannelState::joined;
}

std::optional<std::string> RealtimeChannel::State::joinRef() const { return joinPush ? joinPush->ref() : std::nullopt; }

std::shared_ptr<RealtimeChannel> RealtimeChannel::make(Passkey, std::string topic, helpers::JSONObject params,
                                                       const std::shared_ptr<RealtimeClient>& socket) {
  auto channel = std::make_shared<RealtimeChannel>(Passkey(), std::move(topic), std::move(params), socket);
  channel->start();
  return channel;
}

RealtimeChannel::RealtimeChannel(Passkey, std::string topic, helpers::JSONObject params,
                                 const std::shared_ptr<RealtimeClient>& socket)
    : state_(std::make_unique<State>(std::move(topic), std::move(params), socket, socket->socketMutex())) {}

void RealtimeChannel::start() {
  SocketLock lock(state_->mutex);
  const auto self = shared_from_this();
  const std::weak_ptr<RealtimeChannel> weak = self;

  auto rejoinTimer = std::make_unique<TimeoutTimer>(TimerQueue::main(), state_->lock);
  rejoinTimer->callback.bindWeak(weak, [](RealtimeChannel& channel) {
    const auto socket = channel.socket();
    if (socket && socket->isConnected()) channel.rejoin();
  });
  rejoinTimer->timerCalculation.bindWeak(weak, [](RealtimeChannel& channel, int tries) -> std::optional<double> {
    const auto socket = channel.socket();
    return socket ? socket->rejoinAfter(tries) : 5.0;
  });
  state_->rejoinTimer = std::move(rejoinTimer);

  if (const auto socket = state_->socket.lock()) {
    RealtimeClient::ErrorDelegate onError;
    onError.bindWeak(weak, [](RealtimeChannel& channel, const std::exception_ptr&, const RealtimeClient::Response&) {
      SocketLock held(channel.state_->mutex);
      channel.state_->rejoinTimer->reset();
    });
    state_->stateChangeRefs.push_back(socket->addOwnError(std::move(onError)));
    RealtimeClient::OpenDelegate onOpen;
    onOpen.bindWeak(weak, [](RealtimeChannel& channel, const RealtimeClient::Response&) {
      SocketLock held(channel.state_->mutex);
      channel.state_->rejoinTimer->reset();
      if (channel.state_->state == ChannelState::errored) channel.rejoin();
    });
    state_->stateChangeRefs.push_back(socket->addOwnOpen(std::move(onOpen)));
  }

  state_->joinPush = Push::make(self, std::string(ChannelEvent::join), state_->params, state_->timeout);
  state_->joinPush->listen(PushStatus::ok, self,
                           [](RealtimeChannel& channel, const RealtimeMessage&) { channel.joinSucceeded(); });
  state_->joinPush->listen(PushStatus::error, self,
                           [](RealtimeChannel& channel, const RealtimeMessage&) { channel.joinFailed(); });
  state_->joinPush->listen(PushStatus::timeout, self,
                           [](RealtimeChannel& channel, const RealtimeMessage&) { channel.joinTimedOut(); });

  listen(std::string(ChannelEvent::close), self,
         [](RealtimeChannel& channel, const RealtimeMessage& message) { channel.closed(message); });
  listen(std::string(ChannelEvent::error), self,
         [](RealtimeChannel& channel, const RealtimeMessage& message) { channel.errored(message); });
  listen(std::string(ChannelEvent::reply), self,
         [](RealtimeChannel& channel, const RealtimeMessage& message) { channel.routeReply(message); });
}

RealtimeChannel::~RealtimeChannel() {
  SocketLock lock(state_->mutex);
  if (state_->rejoinTimer) state_->rejoinTimer->reset();
}

const std::shared_ptr<SocketMutex>& RealtimeChannel::socketMutex() const noexcept { return state_->lock; }

const std::string& RealtimeChannel::topic() const noexcept { return state_->topic; }

const std::string& RealtimeChannel::subTopic() const noexcept { return state_->subTopic; }

helpers::JSONObject RealtimeChannel::params() const {
  SocketLock lock(state_->mutex);
  return state_->params;
}

void RealtimeChannel::setParams(helpers::JSONObject params) {
  SocketLock lock(state_->mutex);
  state_->params = std::move(params);
  if (state_->joinPush) state_->joinPush->setPayload(state_->params);
}

std::shared_ptr<Presence> RealtimeChannel::presence() {
  SocketLock lock(state_->mutex);
  if (!state_->presence) state_->presence = Presence::make(shared_from_this());
  return state_->presence;
}

std::shared_ptr<RealtimeClient> RealtimeChannel::socket() const { return state_->socket.lock(); }

ChannelState RealtimeChannel::state() const {
  SocketLock lock(state_->mutex);
  return state_->state;
}

double RealtimeChannel::timeout() const {
  SocketLock lock(state_->mutex);
  return state_->timeout;
}

void RealtimeChannel::setTimeout(double seconds) {
  SocketLock lock(state_->mutex);
  state_->timeout = seconds;
}

bool RealtimeChannel::joinedOnce() const {
  SocketLock lock(state_->mutex);
  return state_->joinedOnce;
}

std::shared_ptr<Push> RealtimeChannel::joinPush() const {
  SocketLock lock(state_->mutex);
  return state_->joinPush;
}

std::optional<std::string> RealtimeChannel::joinRef() const {
  SocketLock lock(state_->mutex);
  return state_->joinRef();
}

std::vector<std::string> RealtimeChannel::stateChangeRefs() const {
  SocketLock lock(state_->mutex);
  return state_->stateChangeRefs;
}

bool RealtimeChannel::canPush() const {
  SocketLock lock(state_->mutex);
  return state_->canPush();
}

bool RealtimeChannel::isClosed() const { return state() == ChannelState::closed; }
bool RealtimeChannel::isErrored() const { return state() == ChannelState::errored; }
bool RealtimeChannel::isJoined() const { return state() == ChannelState::joined; }
bool RealtimeChannel::isJoining() const { return state() == ChannelState::joining; }
bool RealtimeChannel::isLeaving() const { return state() == ChannelState::leaving; }

std::shared_ptr<RealtimeChannel> RealtimeChannel::subscribe(std::optional<double> timeout, SubscribeCallback callback) {
  SocketLock lock(state_->mutex);
  const auto self = shared_from_this();
  if (const auto socket = state_->socket.lock(); socket && !socket->isConnected()) socket->connect();
  if (state_->joinedOnce) {
    throw std::logic_error(
        "tried to join multiple times. 'join' can only be called a single time per channel instance");
  }
  // The application's callback, heard of inside the socket's calls and called out from there.
  callback = calledOut(state_->lock, std::move(callback));
  if (callback) {
    listen(std::string(ChannelEvent::error), self, [callback](RealtimeChannel&, const RealtimeMessage& message) {
      callback(RealtimeSubscribeStates::channelError, errorFrom(message));
    });
    listen(std::string(ChannelEvent::close), self, [callback](RealtimeChannel&, const RealtimeMessage&) {
      callback(RealtimeSubscribeStates::closed, std::nullopt);
    });
  }
  if (timeout) state_->timeout = *timeout;

  helpers::JSONArray postgresChanges;
  if (const auto found = state_->bindings.find(std::string(ChannelEvent::postgresChanges));
      found != state_->bindings.end()) {
    for (const auto& binding : found->second) {
      helpers::JSONObject filter;
      for (const auto& [key, value] : binding.filter) filter.emplace(key, value);
      postgresChanges.emplace_back(std::move(filter));
    }
  }
  helpers::JSONObject config{{std::string(ChannelEvent::postgresChanges), std::move(postgresChanges)}};
  if (const auto given = state_->params.find("config"); given != state_->params.end()) {
    if (const helpers::JSONObject* object = given->second.objectValue()) {
      for (const char* key : {"broadcast", "presence"}) {
        if (const auto entry = object->find(key); entry != object->end()) config.insert_or_assign(key, entry->second);
      }
    }
  }
  auto params = state_->params;
  params.insert_or_assign("config", std::move(config));
  setParams(std::move(params));

  state_->joinedOnce = true;
  rejoin();

  state_->joinPush->listen(PushStatus::ok, self, [callback](RealtimeChannel& channel, const RealtimeMessage& reply) {
    channel.verifyJoin(reply, callback);
  });
  state_->joinPush->listen(PushStatus::error, self, [callback](RealtimeChannel&, const RealtimeMessage& reply) {
    if (callback) callback(RealtimeSubscribeStates::channelError, errorFrom(reply));
  });
  state_->joinPush->listen(PushStatus::timeout, self, [callback](RealtimeChannel&, const RealtimeMessage&) {
    if (callback) callback(RealtimeSubscribeStates::timedOut, std::nullopt);
  });
  return self;
}

void RealtimeChannel::verifyJoin(const RealtimeMessage& reply, const SubscribeCallback& callback) {
  SocketLock lock(state_->mutex);
  const auto report = [&](RealtimeSubscribeStates outcome, std::optional<RealtimeError> error) {
    if (callback) callback(outcome, error);
  };
  if (const auto socket = state_->socket.lock()) {
    if (const auto token = socket->accessToken()) socket->setAuth(token);
  }
  const helpers::JSONObject& payload = reply.payload();
  const auto listed = payload.find(std::string(ChannelEvent::postgresChanges));
  const helpers::JSONArray* server = listed == payload.end() ? nullptr : listed->second.arrayValue();
  if (server == nullptr ||
      !std::all_of(server->begin(), server->end(), [](const helpers::AnyJSON& entry) { return entry.objectValue(); })) {
    return report(RealtimeSubscribeStates::subscribed, std::nullopt);
  }
  const std::string key(ChannelEvent::postgresChanges);
  const std::vector<Binding> client = state_->bindings[key];
  std::vector<Binding> verified;
  for (std::size_t i = 0; i < client.size(); ++i) {
    bool matches = i < server->size();
    const helpers::JSONObject* entry = matches ? (*server)[i].objectValue() : nullptr;
    for (const char* field : {"event", "schema", "table", "filter"}) {
      if (!matches) break;
      matches = textMember(*entry, field) == filterValue(client[i].filter, field);
    }
    if (!matches) {
      unsubscribe(Defaults::timeoutInterval);
      return report(RealtimeSubscribeStates::channelError,
                    RealtimeError(std::string("Mismatch between client and server bindings for postgres changes.")));
    }
    Binding binding = client[i];
    binding.id.reset();
    if (const auto id = entry->find("id"); id != entry->end()) {
      if (const auto number = id->second.intValue()) binding.id = std::to_string(*number);
    }
    verified.push_back(std::move(binding));
  }
  state_->bindings[key] = std::move(verified);
  report(RealtimeSubscribeStates::subscribed, std::nullopt);
}

PresenceStateMap RealtimeChannel::presenceSnapshot() { return presence()->state(); }

void RealtimeChannel::rejoin(std::optional<double> timeout) {
  SocketLock lock(state_->mutex);
  if (state_->state == ChannelState::leaving) return;
  if (const auto socket = state_->socket.lock()) socket->leaveOpenTopic(state_->topic);
  state_->state = ChannelState::joining;
  state_->joinPush->resend(timeout.value_or(state_->timeout));
}

void RealtimeChannel::joinSucceeded() {
  SocketLock lock(state_->mutex);
  state_->state = ChannelState::joined;
  state_->rejoinTimer->reset();
  const auto buffered = std::move(state_->pushBuffer);
  state_->pushBuffer.clear();
  for (const auto& push : buffered) push->send();
}

void RealtimeChannel::joinFailed() {
  SocketLock lock(state_->mutex);
  state_->state = ChannelState::errored;
  const auto socket = state_->socket.lock();
  if (socket && socket->isConnected()) state_->rejoinTimer->scheduleTimeout();
}

void RealtimeChannel::joinTimedOut() {
  SocketLock lock(state_->mutex);
  const auto socket = state_->socket.lock();
  if (socket) {
    socket->logItems({"channel", "timeout " + state_->topic + " " + state_->joinRef().value_or("") + " after " +
                                     describe(state_->timeout) + "s"});
  }
  Push::make(shared_from_this(), std::string(ChannelEvent::leave), {}, state_->timeout)->send();
  state_->state = ChannelState::errored;
  state_->joinPush->reset();
  if (socket && socket->isConnected()) state_->rejoinTimer->scheduleTimeout();
}

void RealtimeChannel::closed(const RealtimeMessage&) {
  SocketLock lock(state_->mutex);
  state_->rejoinTimer->reset();
  const auto socket = state_->socket.lock();
  if (socket) {
    socket->logItems({"channel", "close topic: " + state_->topic + " joinRef: " + state_->joinRef().value_or("nil")});
  }
  state_->state = ChannelState::closed;
  if (socket) socket->remove(shared_from_this());
}

void RealtimeChannel::errored(const RealtimeMessage& message) {
  SocketLock lock(state_->mutex);
  const auto socket = state_->socket.lock();
  const std::optional<std::string> joinRef = state_->joinRef();
  if (socket) {
    socket->logItems({"channel", "error topic: " + state_->topic + " joinRef: " + joinRef.value_or("nil") +
                                     " mesage: " + message.description()});
  }
  if (state_->state == ChannelState::joining) {
    if (socket && joinRef) socket->removeFromSendBuffer(*joinRef);
    state_->joinPush->reset();
  }
  state_->state = ChannelState::errored;
  if (socket && socket->isConnected()) state_->rejoinTimer->scheduleTimeout();
}

std::shared_ptr<Push> RealtimeChannel::unsubscribe(double timeout) {
  SocketLock lock(state_->mutex);
  const auto self = shared_from_this();
  state_->rejoinTimer->reset();
  state_->state = ChannelState::leaving;
  auto leave = Push::make(self, std::string(ChannelEvent::leave), {}, timeout);
  const auto left = [](RealtimeChannel& channel, const RealtimeMessage&) {
    SocketLock held(channel.state_->mutex);
    if (const auto socket = channel.socket()) socket->logItems({"channel", "leave " + channel.state_->topic});
    channel.trigger(RealtimeMessage{
        "", channel.state_->joinRef(), channel.state_->topic, std::string(ChannelEvent::close), {{"reason", "leave"}}});
  };
  leave->listen(PushStatus::ok, self, left);
  leave->listen(PushStatus::timeout, self, left);
  leave->send();
  if (!state_->canPush()) leave->trigger(PushStatus::ok, {});
  return leave;
}

std::shared_ptr<Push> RealtimeChannel::push(const std::string& event, helpers::JSONObject payload, double timeout) {
  SocketLock lock(state_->mutex);
  if (!state_->joinedOnce) {
    throw std::logic_error("Tried to push " + event + " to " + state_->topic +
                           " before joining. Use channel.join() before pushing events");
  }
  auto pushed = Push::make(shared_from_this(), event, std::move(payload), timeout);
  if (state_->canPush()) {
    pushed->send();
  } else {
    pushed->startTimeout();
    state_->pushBuffer.push_back(pushed);
  }
  return pushed;
}

std::function<RealtimeMessage(const RealtimeMessage&)> RealtimeChannel::onMessage() const {
  SocketLock lock(state_->mutex);
  return state_->onMessage;
}

void RealtimeChannel::setOnMessage(std::function<RealtimeMessage(const RealtimeMessage&)> hook) {
  SocketLock lock(state_->mutex);
  state_->onMessage = std::move(hook);
}

std::optional<velmoria::base::URL> RealtimeChannel::broadcastEndpointURL() const {
  const auto socket = state_->socket.lock();
  return velmoria::base::URL::parse(detail::broadcastEndpointText(socket ? socket->endPoint() : std::string()));
}

}  // namespace zirudeze::realtime
