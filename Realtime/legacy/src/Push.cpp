#include "realtime/legacy/Push.hpp"

#include <map>
#include <vector>

#include "SocketMutex.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"
#include "realtime/legacy/RealtimeClient.hpp"
#include "realtime/legacy/TimerQueue.hpp"

namespace zirudeze::realtime {

struct Push::State {
  State(const std::shared_ptr<RealtimeChannel>& owner, std::string name, helpers::JSONObject body, double seconds)
      : lock(owner->socketMutex()),
        channel(owner),
        event(std::move(name)),
        payload(std::move(body)),
        timeout(seconds) {}

  bool hasReceived(PushStatus status) const VM_REQUIRES(mutex) {
    return receivedMessage && receivedMessage->status() == status;
  }

  const std::shared_ptr<SocketMutex> lock;
  SocketMutex& mutex = *lock;
  const std::weak_ptr<RealtimeChannel> channel;
  const std::string event;
  const std::shared_ptr<TimerQueue> timeoutTimer = TimerQueue::main();

  helpers::JSONObject payload VM_GUARDED_BY(mutex);
  double timeout VM_GUARDED_BY(mutex);
  std::optional<RealtimeMessage> receivedMessage VM_GUARDED_BY(mutex);
  std::shared_ptr<WorkItem> timeoutWorkItem VM_GUARDED_BY(mutex);
  std::map<PushStatus, std::vector<Hook>> receiveHooks VM_GUARDED_BY(mutex);
  std::vector<std::function<void(const RealtimeMessage&)>> answerObservers VM_GUARDED_BY(mutex);
  bool sent VM_GUARDED_BY(mutex) = false;
  std::optional<std::string> ref VM_GUARDED_BY(mutex);
  std::optional<std::string> refEvent VM_GUARDED_BY(mutex);
};

std::shared_ptr<Push> Push::make(const std::shared_ptr<RealtimeChannel>& channel, std::string event,
                                 helpers::JSONObject payload, double timeout) {
  return std::make_shared<Push>(Passkey(), channel, std::move(event), std::move(payload), timeout);
}

Push::Push(Passkey, const std::shared_ptr<RealtimeChannel>& channel, std::string event, helpers::JSONObject payload,
           double timeout)
    : state_(std::make_unique<State>(channel, std::move(event), std::move(payload), timeout)) {}

Push::~Push() = default;

std::shared_ptr<RealtimeChannel> Push::channel() const { return state_->channel.lock(); }

const std::string& Push::event() const noexcept { return state_->event; }

helpers::JSONObject Push::payload() const {
  SocketLock lock(state_->mutex);
  return state_->payload;
}

void Push::setPayload(helpers::JSONObject payload) {
  SocketLock lock(state_->mutex);
  state_->payload = std::move(payload);
}

double Push::timeout() const {
  SocketLock lock(state_->mutex);
  return state_->timeout;
}

void Push::setTimeout(double seconds) {
  SocketLock lock(state_->mutex);
  state_->timeout = seconds;
}

std::optional<RealtimeMessage> Push::receivedMessage() const {
  SocketLock lock(state_->mutex);
  return state_->receivedMessage;
}

bool Push::sent() const {
  SocketLock lock(state_->mutex);
  return state_->sent;
}

std::optional<std::string> Push::ref() const {
  SocketLock lock(state_->mutex);
  return state_->ref;
}

std::optional<std::string> Push::refEvent() const {
  SocketLock lock(state_->mutex);
  return state_->refEvent;
}

void Push::send() {
  SocketLock lock(state_->mutex);
  if (state_->hasReceived(PushStatus::timeout)) return;
  startTimeout();
  state_->sent = true;
  const auto channel = state_->channel.lock();
  const auto socket = channel ? channel->socket() : nullptr;
  if (!socket) return;
  socket->push(channel->topic(), state_->event, state_->payload, state_->ref, channel->joinRef());
}

void Push::resend(double timeout) {
  SocketLock lock(state_->mutex);
  state_->timeout = timeout;
  reset();
  send();
}

std::shared_ptr<Push> Push::receive(PushStatus status, std::function<void(const RealtimeMessage&)> callback) {
  Hook hook;
  hook.bindDirect(std::move(callback));
  return addHook(status, std::move(hook));
}

std::shared_ptr<Push> Push::addHook(PushStatus status, Hook hook) {
  addOwnHook(status, calledOut(state_->lock, std::move(hook)));
  return shared_from_this();
}

void Push::addOwnHook(PushStatus status, Hook hook) {
  SocketLock lock(state_->mutex);
  if (state_->hasReceived(status) && hook.isBound()) {
    const RealtimeMessage received = *state_->receivedMessage;
    hook.call(received);
  }
  state_->receiveHooks[status].push_back(std::move(hook));
}

void Push::listen(PushStatus status, std::function<void(const RealtimeMessage&)> callback) {
  Hook hook;
  hook.bindDirect(std::move(callback));
  addOwnHook(status, std::move(hook));
}

void Push::onAnswer(std::function<void(const RealtimeMessage&)> observer) {
  SocketLock lock(state_->mutex);
  state_->answerObservers.push_back(std::move(observer));
}

void Push::reset() {
  SocketLock lock(state_->mutex);
  cancelRefEvent();
  state_->ref.reset();
  state_->refEvent.reset();
  state_->receivedMessage.reset();
  state_->sent = false;
}

void Push::startTimeout() {
  SocketLock lock(state_->mutex);
  cancelTimeout();
  const auto channel = state_->channel.lock();
  const auto socket = channel ? channel->socket() : nullptr;
  if (!socket) return;
  state_->ref = socket->makeRef();
  state_->refEvent = "chan_reply_" + *state_->ref;
  channel->listen(*state_->refEvent, shared_from_this(),
                  [](Push& push, const RealtimeMessage& message) { push.reply(message); });
  // Holds the push until it fires or is cancelled.
  state_->timeoutWorkItem =
      std::make_shared<WorkItem>([self = shared_from_this()] { self->trigger(PushStatus::timeout, {}); }, state_->lock);
  state_->timeoutTimer->queue(state_->timeout, state_->timeoutWorkItem);
}

bool Push::hasReceived(PushStatus status) const {
  SocketLock lock(state_->mutex);
  return state_->hasReceived(status);
}

void Push::trigger(PushStatus status, helpers::JSONObject payload) {
  SocketLock lock(state_->mutex);
  if (!state_->refEvent) return;
  payload.insert_or_assign("status", std::string(rawValue(status)));
  const auto channel = state_->channel.lock();
  if (!channel) return;
  channel->trigger(RealtimeMessage{"", channel->joinRef(), channel->topic(), *state_->refEvent, std::move(payload)});
}

void Push::reply(const RealtimeMessage& message) {
  SocketLock lock(state_->mutex);
  cancelRefEvent();
  cancelTimeout();
  state_->receivedMessage = message;
  if (const auto status = message.status()) matchReceive(*status, message);
  const auto observers = state_->answerObservers;
  for (const auto& observer : observers) observer(message);
}

void Push::cancelRefEvent() {
  SocketLock lock(state_->mutex);
  if (!state_->refEvent) return;
  if (const auto channel = state_->channel.lock()) channel->off(*state_->refEvent, {});
}

void Push::cancelTimeout() {
  SocketLock lock(state_->mutex);
  if (!state_->timeoutWorkItem) return;
  state_->timeoutWorkItem->cancel();
  state_->timeoutWorkItem.reset();
}

void Push::matchReceive(PushStatus status, const RealtimeMessage& message) {
  SocketLock lock(state_->mutex);
  const auto found = state_->receiveHooks.find(status);
  if (found == state_->receiveHooks.end()) return;
  const std::vector<Hook> hooks = found->second;
  for (const auto& hook : hooks) hook.call(message);
}

}  // namespace zirudeze::realtime
