#include "realtime/legacy/Presence.hpp"

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

  // The application's, called out; none until given.
  JoinCallback onJoin VM_GUARDED_BY(mutex);
  LeaveCallback onLeave VM_GUARDED_BY(mutex);
  SyncCallback onSync VM_GUARDED_BY(mutex);
  PresenceStateMap state VM_GUARDED_BY(mutex);
  std::vector<PresenceDiff> pendingDiffs VM_GUARDED_BY(mutex);
  std::optional<std::string> joinRef VM_GUARDED_BY(mutex);
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
    channel->listen(stateEvent->second, self, [](Presence& presence, const RealtimeMessage& message) {
      presence.handleState(message.payload());
    });
  } else {
    return;
  }
  if (const auto channel = state_->channel.lock()) {
    channel->listen(diffEvent->second, self,
                    [](Presence& presence, const RealtimeMessage& message) { presence.handleDiff(message.payload()); });
  }
}

void Presence::handleState(const helpers::JSONObject& payload) {
  SocketLock lock(state_->mutex);
  const auto received = stateMap(payload);
  if (!received) return;
  const auto channel = state_->channel.lock();
  state_->joinRef = channel ? channel->joinRef() : std::nullopt;
  // The callbacks run once the merge is over, so nothing reads the view in the middle of it.
  state_->state = mergeState(std::move(state_->state), *received, state_->onJoin, state_->onLeave);
  const auto pending = std::move(state_->pendingDiffs);
  state_->pendingDiffs.clear();
  for (const auto& diff : pending)
    state_->state = applyDiff(std::move(state_->state), diff, state_->onJoin, state_->onLeave);
  if (state_->onSync) state_->onSync();
}

void Presence::handleDiff(const helpers::JSONObject& payload) {
  SocketLock lock(state_->mutex);
  auto received = diffMap(payload);
  if (!received) return;
  if (state_->awaitingState()) {
    state_->pendingDiffs.push_back(std::move(*received));
    return;
  }
  state_->state = applyDiff(std::move(state_->state), *received, state_->onJoin, state_->onLeave);
  if (state_->onSync) state_->onSync();
}

void Presence::onJoin(JoinCallback callback) {
  SocketLock lock(state_->mutex);
  state_->onJoin = calledOut(state_->lock, std::move(callback));
}

void Presence::onLeave(LeaveCallback callback) {
  SocketLock lock(state_->mutex);
  state_->onLeave = calledOut(state_->lock, std::move(callback));
}

void Presence::onSync(SyncCallback callback) {
  SocketLock lock(state_->mutex);
  state_->onSync = calledOut(state_->lock, std::move(callback));
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
