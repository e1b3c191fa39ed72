#include "realtime/legacy/Presence.hpp"

#include <algorithm>
#include <utility>

#include "SocketMutex.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"

namespace zirudeze::realtime {

namespace {

const std::string kMetas = "metas";

// A meta's server reference; none when "phx_ref" is missing or no text.
const std::string* metaRef(const PresenceMeta& meta) {
  const auto found = meta.find("phx_ref");
  return found == meta.end() ? nullptr : found->second.stringValue();
}

// Entries the merge can follow: "metas" present, each meta with a text "phx_ref".
bool isWellFormed(const PresenceEntry& entry) {
  const auto metas = entry.find(kMetas);
  return metas != entry.end() && std::all_of(metas->second.begin(), metas->second.end(),
                                             [](const PresenceMeta& meta) { return metaRef(meta); });
}

const std::vector<PresenceMeta>& metasOf(const PresenceEntry& entry) {
  static const std::vector<PresenceMeta> none;
  const auto metas = entry.find(kMetas);
  return metas == entry.end() ? none : metas->second;
}

std::vector<std::string> refsOf(const PresenceEntry& entry) {
  std::vector<std::string> refs;
  for (const auto& meta : metasOf(entry)) {
    if (const std::string* ref = metaRef(meta)) refs.push_back(*ref);
  }
  std::sort(refs.begin(), refs.end());
  return refs;
}

// The metas of `entry` whose reference is not among `refs` (sorted), in their order.
std::vector<PresenceMeta> metasNotIn(const PresenceEntry& entry, const std::vector<std::string>& refs) {
  std::vector<PresenceMeta> kept;
  for (const auto& meta : metasOf(entry)) {
    const std::string* ref = metaRef(meta);
    if (!ref || !std::binary_search(refs.begin(), refs.end(), *ref)) kept.push_back(meta);
  }
  return kept;
}

PresenceEntry withMetas(PresenceEntry entry, std::vector<PresenceMeta> metas) {
  entry.insert_or_assign(kMetas, std::move(metas));
  return entry;
}

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

  JoinCallback onJoin VM_GUARDED_BY(mutex) = [](const std::string&, const std::optional<PresenceEntry>&,
                                                const PresenceEntry&) {};
  LeaveCallback onLeave VM_GUARDED_BY(mutex) = [](const std::string&, const PresenceEntry&, const PresenceEntry&) {};
  SyncCallback onSync VM_GUARDED_BY(mutex) = [] {};
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
  const auto received = stateMap(payload);
  if (!received) return;
  const auto channel = state_->channel.lock();
  state_->joinRef = channel ? channel->joinRef() : std::nullopt;
  const JoinCallback onJoin = state_->onJoin;
  const LeaveCallback onLeave = state_->onLeave;
  state_->state = mergeState(state_->state, *received, onJoin, onLeave);
  const auto pending = std::move(state_->pendingDiffs);
  state_->pendingDiffs.clear();
  for (const auto& diff : pending) state_->state = applyDiff(state_->state, diff, onJoin, onLeave);
  const SyncCallback onSync = state_->onSync;
  if (onSync) onSync();
}

void Presence::handleDiff(const helpers::JSONObject& payload) {
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

PresenceStateMap Presence::mergeState(const PresenceStateMap& current, const PresenceStateMap& newState,
                                      const JoinCallback& onJoin, const LeaveCallback& onLeave) {
  PresenceStateMap joins;
  PresenceStateMap leaves;
  for (const auto& [key, entry] : current) {
    if (!newState.contains(key)) leaves.emplace_hint(leaves.end(), key, entry);
  }
  for (const auto& [key, entry] : newState) {
    if (!isWellFormed(entry)) continue;
    const auto existing = current.find(key);
    if (existing == current.end()) {
      joins.emplace_hint(joins.end(), key, entry);
      continue;
    }
    auto joined = metasNotIn(entry, refsOf(existing->second));
    auto left = metasNotIn(existing->second, refsOf(entry));
    if (!joined.empty()) joins.emplace_hint(joins.end(), key, withMetas(entry, std::move(joined)));
    if (!left.empty()) leaves.emplace_hint(leaves.end(), key, withMetas(existing->second, std::move(left)));
  }
  PresenceDiff diff;
  diff.emplace("joins", std::move(joins));
  diff.emplace("leaves", std::move(leaves));
  return applyDiff(current, diff, onJoin, onLeave);
}

PresenceStateMap Presence::applyDiff(const PresenceStateMap& state, const PresenceDiff& diff,
                                     const JoinCallback& onJoin, const LeaveCallback& onLeave) {
  PresenceStateMap result = state;
  if (const auto joins = diff.find("joins"); joins != diff.end()) {
    for (const auto& [key, joined] : joins->second) {
      if (!isWellFormed(joined)) continue;
      std::optional<PresenceEntry> before;
      auto slot = result.find(key);
      if (slot != result.end()) {
        before = std::move(slot->second);
        slot->second = joined;
      } else {
        slot = result.emplace(key, joined).first;
      }
      if (before) {
        // Older connections first, then the joined ones.
        auto metas = metasNotIn(*before, refsOf(slot->second));
        auto& stored = slot->second[kMetas];
        metas.insert(metas.end(), std::make_move_iterator(stored.begin()), std::make_move_iterator(stored.end()));
        stored = std::move(metas);
      }
      if (onJoin) onJoin(key, before, joined);
    }
  }
  if (const auto leaves = diff.find("leaves"); leaves != diff.end()) {
    for (const auto& [key, departed] : leaves->second) {
      if (!isWellFormed(departed)) continue;
      const auto slot = result.find(key);
      if (slot == result.end()) continue;
      auto kept = metasNotIn(slot->second, refsOf(departed));
      if (onLeave) onLeave(key, withMetas(slot->second, kept), departed);
      if (kept.empty()) {
        result.erase(slot);
      } else {
        slot->second.insert_or_assign(kMetas, std::move(kept));
      }
    }
  }
  return result;
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
