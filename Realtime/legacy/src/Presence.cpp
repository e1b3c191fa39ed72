#include "realtime/legacy/Presence.hpp"

#include <deque>
#include <utility>

#include "SocketMutex.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"

namespace zirudeze::realtime {

namespace {

std::optional<PresenceEntry> entryFrom(const helpers::AnyJSON& value) {
  const helpers::JSONObject* object = value.objectValue();
  if (object == nullptr) return std::nullopt;
  PresenceEntry entry;
  for (const auto& [key, member] : *object) {
    const helpers::JSONArray* list = member.arrayValue();
    if (list == nullptr) return std::nullopt;
    std::vector<PresenceMeta> metas;
    metas.reserve(list->size());
    for (const auto& element : *list) {
      const helpers::JSONObject* meta = element.objectValue();
      if (meta == nullptr) return std::nullopt;
      metas.push_back(*meta);
    }
    entry.emplace(key, std::move(metas));
  }
  return entry;
}

std::optional<PresenceStateMap> stateFrom(const helpers::JSONObject& object) {
  PresenceStateMap state;
  for (const auto& [key, value] : object) {
    auto entry = entryFrom(value);
    if (!entry) return std::nullopt;
    state.emplace_hint(state.end(), key, std::move(*entry));
  }
  return state;
}

}  // namespace

struct Presence::Arrival {
  bool full = false;  // a state, else a diff
  helpers::JSONObject payload;
  std::optional<std::string> channelJoinRef;  // the channel's join reference when a state came
};

struct Presence::State {
  explicit State(const std::shared_ptr<RealtimeChannel>& owner) : lock(owner->socketMutex()), channel(owner) {}

  bool awaitingState() const VM_REQUIRES(mutex) {
    const auto owner = channel.lock();
    if (!joinRef || !owner) return true;
    const auto current = owner->joinRef();
    return !current || *current != *joinRef;
  }

  const std::shared_ptr<SocketMutex> lock;
  SocketMutex& mutex = *lock;
  const std::weak_ptr<RealtimeChannel> channel;

  JoinCallback onJoin VM_GUARDED_BY(mutex) = [](const std::string&, const std::optional<PresenceEntry>&,
                                                const PresenceEntry&) {};
  LeaveCallback onLeave VM_GUARDED_BY(mutex) = [](const std::string&, const PresenceEntry&, const PresenceEntry&) {};
  SyncCallback onSync VM_GUARDED_BY(mutex) = [] {};
  PresenceStateMap state VM_GUARDED_BY(mutex);
  std::vector<PresenceDiff> pendingDiffs VM_GUARDED_BY(mutex);
  std::optional<std::string> joinRef VM_GUARDED_BY(mutex);

  // A callback that waits on the socket (a typed send) lets the socket's next messages in meanwhile;
  // they wait here until the message being handled is done, so none is merged into a state that the
  // one before it then replaces.
  std::deque<Arrival> arrivals VM_GUARDED_BY(mutex);
  bool handling VM_GUARDED_BY(mutex) = false;
};

std::optional<Presence::Events> Presence::makeEvents(std::string_view rawValue) noexcept {
  if (rawValue == "state") return Events::state;
  if (rawValue == "diff") return Events::diff;
  return std::nullopt;
}

Presence::Options Presence::Options::defaults() {
  return Options{{{Events::state, "presence_state"}, {Events::diff, "presence_diff"}}};
}

std::shared_ptr<Presence> Presence::make(const std::shared_ptr<RealtimeChannel>& channel, Options options) {
  auto presence = std::make_shared<Presence>(Passkey(), channel);
  presence->listen(options);
  return presence;
}

Presence::Presence(Passkey, const std::shared_ptr<RealtimeChannel>& channel)
    : state_(std::make_unique<State>(channel)) {}

Presence::~Presence() = default;

void Presence::listen(const Options& options) {
  const auto stateEvent = options.events.find(Events::state);
  const auto diffEvent = options.events.find(Events::diff);
  if (stateEvent == options.events.end() || diffEvent == options.events.end()) return;
  const auto self = shared_from_this();
  if (const auto channel = state_->channel.lock()) {
    channel->delegateOn(
        stateEvent->second, ChannelFilter{}, self,
        [](Presence& presence, const RealtimeMessage& message) { presence.handleState(message.payload()); });
  } else {
    return;
  }
  if (const auto channel = state_->channel.lock()) {
    channel->delegateOn(
        diffEvent->second, ChannelFilter{}, self,
        [](Presence& presence, const RealtimeMessage& message) { presence.handleDiff(message.payload()); });
  }
}

void Presence::handleState(const helpers::JSONObject& payload) {
  SocketLock lock(state_->mutex);
  const auto channel = state_->channel.lock();
  receive(Arrival{true, payload, channel ? channel->joinRef() : std::nullopt});
}

void Presence::handleDiff(const helpers::JSONObject& payload) {
  SocketLock lock(state_->mutex);
  receive(Arrival{false, payload, std::nullopt});
}

void Presence::receive(Arrival arrival) {
  SocketLock lock(state_->mutex);
  state_->arrivals.push_back(std::move(arrival));
  if (state_->handling) return;
  state_->handling = true;
  struct Done {
    State& state;
    ~Done() VM_NO_THREAD_SAFETY_ANALYSIS { state.handling = false; }
  } done{*state_};
  while (!state_->arrivals.empty()) {
    Arrival next = std::move(state_->arrivals.front());
    state_->arrivals.pop_front();
    if (next.full) {
      applyState(next.payload, next.channelJoinRef);
    } else {
      applyDiffMessage(next.payload);
    }
  }
}

void Presence::applyState(const helpers::JSONObject& payload, const std::optional<std::string>& channelJoinRef) {
  SocketLock lock(state_->mutex);
  const auto received = stateMap(payload);
  if (!received) return;
  state_->joinRef = channelJoinRef;
  const JoinCallback onJoin = state_->onJoin;
  const LeaveCallback onLeave = state_->onLeave;
  // Callbacks that read the presence meanwhile see the state as it was.
  state_->state = mergeState(state_->state, *received, onJoin, onLeave);
  const auto pending = std::move(state_->pendingDiffs);
  state_->pendingDiffs.clear();
  for (const auto& diff : pending) state_->state = applyDiff(state_->state, diff, onJoin, onLeave);
  const SyncCallback onSync = state_->onSync;
  if (onSync) onSync();
}

void Presence::applyDiffMessage(const helpers::JSONObject& payload) {
  SocketLock lock(state_->mutex);
  auto received = diffMap(payload);
  if (!received) return;
  if (state_->awaitingState()) {
    state_->pendingDiffs.push_back(std::move(*received));
    return;
  }
  const JoinCallback onJoin = state_->onJoin;
  const LeaveCallback onLeave = state_->onLeave;
  state_->state = applyDiff(state_->state, *received, onJoin, onLeave);
  const SyncCallback onSync = state_->onSync;
  if (onSync) onSync();
}

void Presence::onJoin(JoinCallback callback) {
  SocketLock lock(state_->mutex);
  state_->onJoin = std::move(callback);
}

void Presence::onLeave(LeaveCallback callback) {
  SocketLock lock(state_->mutex);
  state_->onLeave = std::move(callback);
}

void Presence::onSync(SyncCallback callback) {
  SocketLock lock(state_->mutex);
  state_->onSync = std::move(callback);
}

PresenceStateMap Presence::state() const {
  SocketLock lock(state_->mutex);
  return state_->state;
}

std::vector<PresenceDiff> Presence::pendingDiffs() const {
  SocketLock lock(state_->mutex);
  return state_->pendingDiffs;
}

std::optional<std::string> Presence::joinRef() const {
  SocketLock lock(state_->mutex);
  return state_->joinRef;
}

bool Presence::awaitingState() const {
  SocketLock lock(state_->mutex);
  return state_->awaitingState();
}

std::vector<PresenceEntry> Presence::list() const {
  return list([](const std::string&, const PresenceEntry& entry) { return entry; });
}

PresenceStateMap Presence::filter(const Predicate& predicate) const { return filter(state(), predicate); }

PresenceStateMap Presence::filter(const PresenceStateMap& state, const Predicate& predicate) {
  if (!predicate) return state;
  PresenceStateMap kept;
  for (const auto& [key, entry] : state) {
    if (predicate(key, entry)) kept.emplace_hint(kept.end(), key, entry);
  }
  return kept;
}

std::optional<PresenceStateMap> Presence::stateMap(const helpers::JSONObject& payload) { return stateFrom(payload); }

std::optional<PresenceDiff> Presence::diffMap(const helpers::JSONObject& payload) {
  PresenceDiff diff;
  for (const auto& [key, value] : payload) {
    const helpers::JSONObject* object = value.objectValue();
    if (object == nullptr) return std::nullopt;
    auto state = stateFrom(*object);
    if (!state) return std::nullopt;
    diff.emplace_hint(diff.end(), key, std::move(*state));
  }
  return diff;
}

}  // namespace zirudeze::realtime
