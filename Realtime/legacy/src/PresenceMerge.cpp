// Presence states merged and diffs applied. Both walk the keys once in order; metas move into their new
// place instead of being copied wherever the view can give them up, so a view of many keys costs little
// more per key than one of few.
#include <algorithm>
#include <iterator>
#include <list>
#include <string_view>
#include <utility>

#include <boost/container/small_vector.hpp>

#include "realtime/legacy/Presence.hpp"

namespace zirudeze::realtime {

namespace {

using Metas = std::vector<PresenceMeta>;

const std::string kMetas = "metas";

// A meta's server reference; none when "phx_ref" is missing or no text.
const std::string* metaRef(const PresenceMeta& meta) {
  const auto found = meta.find("phx_ref");
  return found == meta.end() ? nullptr : found->second.stringValue();
}

const Metas* metasIn(const PresenceEntry& entry) {
  const auto found = entry.find(kMetas);
  return found == entry.end() ? nullptr : &found->second;
}

Metas* metasIn(PresenceEntry& entry) {
  const auto found = entry.find(kMetas);
  return found == entry.end() ? nullptr : &found->second;
}

bool onlyMetas(const PresenceEntry& entry) { return entry.size() == 1 && entry.begin()->first == kMetas; }

// The references of a list of metas, read once, in list order. Lists are short and searched in a line;
// a long one is sorted for its lookups.
class Refs {
 public:
  explicit Refs(const Metas* metas) {
    if (metas == nullptr) return;
    present_ = true;
    ordered_.reserve(metas->size());
    for (const auto& meta : *metas) {
      const std::string* ref = metaRef(meta);
      complete_ = complete_ && ref != nullptr;
      ordered_.push_back(ref);
    }
    if (ordered_.size() <= kSearchedInLine) return;
    for (const std::string* ref : ordered_) {
      if (ref) sorted_.emplace_back(*ref);
    }
    std::sort(sorted_.begin(), sorted_.end());
  }

  // "metas" present and every meta with a reference: the entries a merge follows.
  bool wellFormed() const noexcept { return present_ && complete_; }
  std::size_t size() const noexcept { return ordered_.size(); }
  const std::string* operator[](std::size_t index) const noexcept { return ordered_[index]; }

  bool contains(const std::string* ref) const {
    if (ref == nullptr) return false;
    if (ordered_.size() > kSearchedInLine)
      return std::binary_search(sorted_.begin(), sorted_.end(), std::string_view(*ref));
    return std::any_of(ordered_.begin(), ordered_.end(), [&](const std::string* own) { return own && *own == *ref; });
  }

 private:
  static constexpr std::size_t kSearchedInLine = 8;

  boost::container::small_vector<const std::string*, kSearchedInLine> ordered_;
  std::vector<std::string_view> sorted_;
  bool present_ = false;
  bool complete_ = true;
};

// The entry's other lists with these metas.
PresenceEntry withMetas(const PresenceEntry& entry, Metas metas) {
  PresenceEntry copy;
  for (const auto& [key, value] : entry) {
    if (key != kMetas) copy.emplace_hint(copy.end(), key, value);
  }
  copy.insert_or_assign(kMetas, std::move(metas));
  return copy;
}

// The entry of `key` in `state` at or after `at`, walking on from there: a diff's keys come in order, so a
// diff over many keys touches the state once from front to back. A far key is looked up instead.
PresenceStateMap::iterator seek(PresenceStateMap& state, PresenceStateMap::iterator at, std::string_view key) {
  for (int step = 0; step < 8 && at != state.end() && std::string_view(at->first) < key; ++step) ++at;
  if (at != state.end() && std::string_view(at->first) < key) at = state.lower_bound(std::string(key));
  return at;
}

// A leave found while merging, announced once every join was: the whole entry (departed absent), or the
// metas that left an entry that stays.
struct Leave {
  PresenceStateMap::iterator at;
  std::optional<PresenceEntry> departed;
};

// One key both states hold. The join is announced at once; the entry is left as it is after the join and
// the leave together, and the leave, if any, is handed to `leave` for later.
template <class LeaveSink>
void mergeKey(PresenceStateMap::iterator at, const PresenceEntry& given, const Metas& givenMetas, const Refs& givenRefs,
              const Presence::JoinCallback& onJoin, LeaveSink&& leave) {
  PresenceEntry& entry = at->second;
  const Refs heldRefs(metasIn(entry));

  boost::container::small_vector<std::size_t, 8> joinedAt;
  for (std::size_t i = 0; i < givenRefs.size(); ++i) {
    if (!heldRefs.contains(givenRefs[i])) joinedAt.push_back(i);
  }
  // A leave with a meta that has no reference is passed over, as a malformed one of a diff is.
  std::size_t leftCount = 0;
  bool leaveFollowed = true;
  for (std::size_t i = 0; i < heldRefs.size(); ++i) {
    if (givenRefs.contains(heldRefs[i])) continue;
    ++leftCount;
    leaveFollowed = leaveFollowed && heldRefs[i] != nullptr;
  }
  leaveFollowed = leaveFollowed && leftCount > 0;

  std::optional<PresenceEntry> joined;
  if (!joinedAt.empty()) {
    Metas metas;
    metas.reserve(joinedAt.size());
    for (const std::size_t i : joinedAt) metas.push_back(givenMetas[i]);
    joined = withMetas(given, std::move(metas));
    if (onJoin) {
      std::optional<PresenceEntry> before(std::move(entry));
      onJoin(at->first, before, *joined);
      entry = std::move(*before);
    }
  }

  std::optional<PresenceEntry> departed;
  Metas* held = metasIn(entry);
  if (leaveFollowed) {
    // The metas still listed close up in their order; the others move out to the departed entry. Moving
    // a meta keeps its nodes, so the references read above stay good.
    Metas gone;
    gone.reserve(leftCount);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < held->size(); ++i) {
      if (!givenRefs.contains(heldRefs[i])) {
        gone.push_back(std::move((*held)[i]));
      } else {
        if (kept != i) (*held)[kept] = std::move((*held)[i]);
        ++kept;
      }
    }
    held->erase(held->begin() + static_cast<std::ptrdiff_t>(kept), held->end());
    departed = withMetas(entry, std::move(gone));
  }

  if (joined) {
    // Older connections first, then the joined ones; the entry takes the given one's other lists.
    Metas& added = (*joined)[kMetas];
    if (held != nullptr && onlyMetas(entry) && onlyMetas(*joined)) {
      held->insert(held->end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    } else {
      Metas metas = held != nullptr ? std::move(*held) : Metas{};
      metas.insert(metas.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
      entry = withMetas(*joined, std::move(metas));
    }
  }
  if (departed) leave(at, std::move(departed));
}

}  // namespace

PresenceStateMap Presence::mergeState(PresenceStateMap current, const PresenceStateMap& newState,
                                      const JoinCallback& onJoin, const LeaveCallback& onLeave) {
  // A list of small nodes: a large block made and freed for each merge makes the allocator gather up
  // every small block freed meanwhile, which costs more than the merge itself.
  std::list<Leave> leaves;
  const auto leave = [&](PresenceStateMap::iterator at, std::optional<PresenceEntry> departed) {
    leaves.push_back(Leave{at, std::move(departed)});
  };

  // Both states are in key order: one walk over the two joins and finds what left.
  auto mine = current.begin();
  for (const auto& [key, given] : newState) {
    for (; mine != current.end() && mine->first < key; ++mine) leave(mine, std::nullopt);
    const bool known = mine != current.end() && mine->first == key;
    const Metas* givenMetas = metasIn(given);
    const Refs givenRefs(givenMetas);
    if (!givenRefs.wellFormed()) {
      if (known) ++mine;
      continue;
    }
    if (!known) {
      const auto stored = current.emplace_hint(mine, key, given);
      if (onJoin) onJoin(stored->first, std::nullopt, stored->second);
      continue;
    }
    mergeKey(mine, given, *givenMetas, givenRefs, onJoin, leave);
    ++mine;
  }
  for (; mine != current.end(); ++mine) leave(mine, std::nullopt);

  for (auto& [at, departed] : leaves) {
    if (departed) {
      if (onLeave) onLeave(at->first, at->second, *departed);
      const Metas* kept = metasIn(at->second);
      if (kept == nullptr || kept->empty()) current.erase(at);
      continue;
    }
    if (!Refs(metasIn(at->second)).wellFormed()) continue;
    const PresenceEntry gone = std::move(at->second);
    if (onLeave) onLeave(at->first, withMetas(gone, {}), gone);
    current.erase(at);
  }
  return current;
}

PresenceStateMap Presence::applyDiff(PresenceStateMap state, const PresenceDiff& diff, const JoinCallback& onJoin,
                                     const LeaveCallback& onLeave) {
  if (const auto joins = diff.find("joins"); joins != diff.end()) {
    auto at = state.begin();
    for (const auto& [key, joined] : joins->second) {
      const Metas* joinedMetas = metasIn(joined);
      const Refs joinedRefs(joinedMetas);
      if (!joinedRefs.wellFormed()) continue;
      at = seek(state, at, key);
      if (at == state.end() || at->first != key) {
        at = state.emplace_hint(at, key, joined);
        if (onJoin) onJoin(at->first, std::nullopt, joined);
        continue;
      }
      std::optional<PresenceEntry> before(std::move(at->second));
      if (onJoin) onJoin(at->first, before, joined);
      // Older connections first, then the joined ones.
      Metas* older = metasIn(*before);
      const auto rejoined = [&](const PresenceMeta& meta) { return joinedRefs.contains(metaRef(meta)); };
      if (older != nullptr && onlyMetas(*before) && onlyMetas(joined)) {
        std::erase_if(*older, rejoined);
        older->insert(older->end(), joinedMetas->begin(), joinedMetas->end());
        at->second = std::move(*before);
        continue;
      }
      Metas metas;
      if (older != nullptr) {
        for (auto& meta : *older) {
          if (!rejoined(meta)) metas.push_back(std::move(meta));
        }
      }
      metas.insert(metas.end(), joinedMetas->begin(), joinedMetas->end());
      at->second = withMetas(joined, std::move(metas));
    }
  }
  if (const auto leaves = diff.find("leaves"); leaves != diff.end()) {
    auto at = state.begin();
    for (const auto& [key, departed] : leaves->second) {
      const Refs departedRefs(metasIn(departed));
      if (!departedRefs.wellFormed()) continue;
      at = seek(state, at, key);
      if (at == state.end() || at->first != key) continue;
      Metas& metas = at->second[kMetas];
      std::erase_if(metas, [&](const PresenceMeta& meta) { return departedRefs.contains(metaRef(meta)); });
      if (onLeave) onLeave(at->first, at->second, departed);
      if (metas.empty()) at = state.erase(at);
    }
  }
  return state;
}

}  // namespace zirudeze::realtime
