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

const std::vector<PresenceMeta>& metasOf(const PresenceEntry& entry) {
  static const std::vector<PresenceMeta> none;
  const auto metas = entry.find(kMetas);
  return metas == entry.end() ? none : metas->second;
}

// The references of an entry's metas, read once: per meta in order, and sorted for lookups.
struct Refs {
  std::vector<const std::string*> ordered;  // none where a meta has no text "phx_ref"
  std::vector<std::string_view> sorted;
  // Entries the merge can follow: "metas" present, each meta with a reference.
  bool wellFormed = false;

  explicit Refs(const PresenceEntry& entry) {
    const auto metas = entry.find(kMetas);
    if (metas == entry.end()) return;
    wellFormed = true;
    ordered.reserve(metas->second.size());
    for (const auto& meta : metas->second) {
      const std::string* ref = metaRef(meta);
      ordered.push_back(ref);
      if (ref) {
        sorted.push_back(*ref);
      } else {
        wellFormed = false;
      }
    }
    std::sort(sorted.begin(), sorted.end());
  }

  bool contains(const std::string* ref) const {
    return ref && std::binary_search(sorted.begin(), sorted.end(), std::string_view(*ref));
  }
};

// Copies of the metas of `entry` (whose references are `own`) that are not among `other`, in their order.
std::vector<PresenceMeta> metasNotIn(const PresenceEntry& entry, const Refs& own, const Refs& other) {
  std::vector<PresenceMeta> kept;
  const auto& metas = metasOf(entry);
  for (std::size_t i = 0; i < metas.size(); ++i) {
    if (!other.contains(own.ordered[i])) kept.push_back(metas[i]);
  }
  return kept;
}

// A copy of the entry with other metas; the old ones are not copied on the way.
PresenceEntry withMetas(const PresenceEntry& entry, std::vector<PresenceMeta> metas) {
  PresenceEntry copy;
  for (const auto& [key, value] : entry) {
    if (key != kMetas) copy.emplace_hint(copy.end(), key, value);
  }
  copy.insert_or_assign(kMetas, std::move(metas));
  return copy;
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
  // Callbacks that read the presence meanwhile see the state as it was.
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

namespace {

// Keys of a diff in ascending order with their entries, as a map or a list the merge builds.
template <class Key>
using KeyedEntries = std::vector<std::pair<Key, PresenceEntry>>;

// The entry of `key` in `state` at or after `at`, walking on from there: diffs come in key order, so a
// diff over many keys touches the state once from front to back. A far key is looked up instead.
PresenceStateMap::iterator seek(PresenceStateMap& state, PresenceStateMap::iterator at, std::string_view key) {
  for (int step = 0; step < 8 && at != state.end() && std::string_view(at->first) < key; ++step) ++at;
  if (at != state.end() && std::string_view(at->first) < key) at = state.lower_bound(std::string(key));
  return at;
}

template <class Joins, class Leaves>
void applyTo(PresenceStateMap& state, const Joins& joins, const Leaves& leaves, const Presence::JoinCallback& onJoin,
             const Presence::LeaveCallback& onLeave) {
  auto at = state.begin();
  for (const auto& [key, joined] : joins) {
    const Refs joinedRefs(joined);
    if (!joinedRefs.wellFormed) continue;
    at = seek(state, at, key);
    if (at == state.end() || at->first != key) {
      at = state.emplace_hint(at, std::string(key), joined);
      if (onJoin) onJoin(at->first, std::nullopt, joined);
      continue;
    }
    std::optional<PresenceEntry> before(std::move(at->second));
    if (onJoin) onJoin(at->first, before, joined);
    // Older connections first, then the joined ones.
    std::vector<PresenceMeta> metas;
    if (const auto older = before->find(kMetas); older != before->end()) {
      for (auto& meta : older->second) {
        if (!joinedRefs.contains(metaRef(meta))) metas.push_back(std::move(meta));
      }
    }
    const auto& added = metasOf(joined);
    metas.insert(metas.end(), added.begin(), added.end());
    at->second = withMetas(joined, std::move(metas));
  }
  at = state.begin();
  for (const auto& [key, departed] : leaves) {
    const Refs departedRefs(departed);
    if (!departedRefs.wellFormed) continue;
    at = seek(state, at, key);
    if (at == state.end() || at->first != key) continue;
    std::vector<PresenceMeta> kept;
    if (const auto metas = at->second.find(kMetas); metas != at->second.end()) {
      for (auto& meta : metas->second) {
        if (!departedRefs.contains(metaRef(meta))) kept.push_back(std::move(meta));
      }
    }
    at->second.insert_or_assign(kMetas, std::move(kept));
    if (onLeave) onLeave(at->first, at->second, departed);
    if (metasOf(at->second).empty()) at = state.erase(at);
  }
}

}  // namespace

PresenceStateMap Presence::mergeState(PresenceStateMap current, const PresenceStateMap& newState,
                                      const JoinCallback& onJoin, const LeaveCallback& onLeave) {
  // Both states are in key order: one walk over the two finds what joined and what left.
  KeyedEntries<std::string_view> joins;
  KeyedEntries<std::string_view> leaves;
  auto mine = current.begin();
  for (const auto& [key, entry] : newState) {
    for (; mine != current.end() && mine->first < key; ++mine) leaves.emplace_back(mine->first, mine->second);
    const bool known = mine != current.end() && mine->first == key;
    const Refs newRefs(entry);
    if (newRefs.wellFormed) {
      if (!known) {
        joins.emplace_back(key, entry);
      } else {
        const Refs currentRefs(mine->second);
        auto joined = metasNotIn(entry, newRefs, currentRefs);
        auto left = metasNotIn(mine->second, currentRefs, newRefs);
        if (!joined.empty()) joins.emplace_back(key, withMetas(entry, std::move(joined)));
        if (!left.empty()) leaves.emplace_back(key, withMetas(mine->second, std::move(left)));
      }
    }
    if (known) ++mine;
  }
  for (; mine != current.end(); ++mine) leaves.emplace_back(mine->first, mine->second);
  // The keys point into `current` and `newState`; `current` changes below, so they are copied first.
  KeyedEntries<std::string> ownedLeaves;
  ownedLeaves.reserve(leaves.size());
  for (auto& [key, entry] : leaves) ownedLeaves.emplace_back(std::string(key), std::move(entry));
  applyTo(current, joins, ownedLeaves, onJoin, onLeave);
  return current;
}

PresenceStateMap Presence::applyDiff(PresenceStateMap state, const PresenceDiff& diff, const JoinCallback& onJoin,
                                     const LeaveCallback& onLeave) {
  static const PresenceStateMap none;
  const auto joins = diff.find("joins");
  const auto leaves = diff.find("leaves");
  applyTo(state, joins == diff.end() ? none : joins->second, leaves == diff.end() ? none : leaves->second, onJoin,
          onLeave);
  return state;
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
