// Presence states merged and diffs applied. Both walk the keys once in order, reading ahead of where
// they are; metas move into their new place instead of being copied wherever the view can give them up,
// and a copy reuses the nodes of a meta that left, while a few of those are kept. A view of many keys
// costs little more per key than one of few.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "PresenceReadAhead.hpp"
#include "realtime/legacy/Presence.hpp"

namespace zirudeze::realtime {

namespace {

using Metas = std::vector<PresenceMeta>;

const std::string kMetas = "metas";
const std::string kRef = "phx_ref";

// A meta's server reference; none when "phx_ref" is missing or no text.
const std::string* metaRef(const PresenceMeta& meta) {
  const auto found = meta.find(kRef);
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

// What a merge keeps of the metas that left, for the copies of those that join after them: their nodes
// take the copies' values, so a merge of many keys makes and frees no node per key as long as the metas
// that leave are small. What it keeps is bounded, so a thread holds little once a large view is gone.
class SpareMetas {
 public:
  // Keeps `meta` when it is flat and fits the budget; it goes otherwise.
  void give(PresenceMeta&& meta) {
    // Once no meta fits, a large merge reads none of those it gives up.
    if (kBudget - total_ < kSmallest) return;
    const std::size_t bytes = keptBytes(meta);
    if (bytes > kBudget - total_) return;
    metas_.push_back(std::move(meta));
    bytes_.push_back(static_cast<std::uint32_t>(bytes));
    total_ += bytes;
  }
  bool empty() const noexcept { return metas_.empty(); }
  // The last one given; only when not empty.
  PresenceMeta take() {
    PresenceMeta meta = std::move(metas_.back());
    metas_.pop_back();
    total_ -= bytes_.back();
    bytes_.pop_back();
    return meta;
  }
  // Frees all but the `newest` last given.
  void keepNewest(std::size_t newest) {
    if (metas_.size() <= newest) return;
    const auto first = static_cast<std::ptrdiff_t>(metas_.size() - newest);
    for (auto bytes = bytes_.begin(); bytes != bytes_.begin() + first; ++bytes) total_ -= *bytes;
    metas_.erase(metas_.begin(), metas_.begin() + first);
    bytes_.erase(bytes_.begin(), bytes_.begin() + first);
  }

 private:
  static constexpr std::size_t kBudget = 64 * 1024;
  static constexpr std::size_t kTooLarge = kBudget + 1;
  static constexpr std::size_t kNode = sizeof(PresenceMeta::value_type) + 4 * sizeof(void*) + 16;
  static constexpr std::size_t kPlace = 2 * (sizeof(PresenceMeta) + sizeof(std::uint32_t));
  // A meta of only its reference.
  static constexpr std::size_t kSmallest = kPlace + kNode;

  // Roughly what the allocator holds for a meta, with its place in the lists here (twice, for what a
  // list holds beyond its size); too large for a meta holding lists or objects, whose size is not worth
  // reading.
  static std::size_t keptBytes(const PresenceMeta& meta) {
    const auto text = [](const std::string& value) { return value.capacity() > 15 ? value.capacity() + 17 : 0; };
    std::size_t bytes = kPlace;
    for (const auto& [key, value] : meta) {
      if (value.objectValue() || value.arrayValue()) return kTooLarge;
      bytes += kNode + text(key);
      if (const std::string* string = value.stringValue()) bytes += text(*string);
    }
    return bytes;
  }

  Metas metas_;
  std::vector<std::uint32_t> bytes_;
  std::size_t total_ = 0;
};

void put(Metas& into, PresenceMeta&& meta) { into.push_back(std::move(meta)); }
void put(SpareMetas& into, PresenceMeta&& meta) { into.give(std::move(meta)); }

// Moves the metas that `leaving` picks by their place out of `metas` to `into`, the others closing up
// in their order. Moving a meta keeps its nodes, so references read from it stay good. Returns how many
// moved.
template <class Into, class Picks>
std::size_t moveOut(Metas& metas, Into& into, const Picks& leaving) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < metas.size(); ++i) {
    if (leaving(i)) {
      put(into, std::move(metas[i]));
      continue;
    }
    if (kept != i) metas[kept] = std::move(metas[i]);
    ++kept;
  }
  const std::size_t count = metas.size() - kept;
  metas.erase(metas.begin() + static_cast<std::ptrdiff_t>(kept), metas.end());
  return count;
}

// The entry's other lists with these metas.
PresenceEntry withMetas(const PresenceEntry& entry, Metas metas) {
  PresenceEntry copy;
  for (const auto& [key, value] : entry) {
    if (key != kMetas) copy.emplace_hint(copy.end(), key, value);
  }
  copy.insert_or_assign(kMetas, std::move(metas));
  return copy;
}

// Where a diff is in the state it applies to.
class StateCursor {
 public:
  explicit StateCursor(PresenceStateMap& state) : state_(state), at_(state.begin()), ahead_(at_, state.end()) {}

  // The entry of `key`, or where it would go, at or after the current one, walking on from there: a
  // diff's keys come in order, so a diff over many keys reads the state once from front to back. A far
  // key is looked up instead.
  PresenceStateMap::iterator seek(std::string_view key) {
    for (int step = 0; step < 8 && at_ != state_.end() && std::string_view(at_->first) < key; ++step) {
      ++at_;
      ahead_.step();
    }
    if (at_ != state_.end() && std::string_view(at_->first) < key) {
      at_ = state_.lower_bound(std::string(key));
      ahead_ = ReadAhead(at_, state_.end());
    }
    return at_;
  }

  // An entry added where the last seek ended: a leave of the same key finds it.
  void added(PresenceStateMap::iterator at) { at_ = at; }

 private:
  PresenceStateMap& state_;
  PresenceStateMap::iterator at_;
  ReadAhead<PresenceStateMap::iterator> ahead_;
};

// A leave found while merging, announced once every join was: the whole entry, the metas that left an
// entry of only "metas" (kept in the merge's list of departed metas), or those that left another entry.
struct Leave {
  enum class Kind { whole, metas, entry };
  PresenceStateMap::iterator at;
  Kind kind = Kind::whole;
  std::size_t first = 0;  // metas: where they start in the departed list
  std::size_t count = 0;
  std::optional<PresenceEntry> departed;  // entry
};

// A leave of a diff, announced once every join of the diff was.
struct DiffLeave {
  PresenceStateMap::iterator at;
  const Metas* kept;
  const PresenceEntry* departed;
};

// What a merge or diff keeps from one key to the next, and from one to the next on the same thread: it
// then makes and frees no block per key but the metas that join and leave, and no large block for a
// view of a size it has merged before (a large block made and freed for each merge makes the allocator
// gather up every small block freed meanwhile, which costs more than the merge itself). Lists that grew
// large for one merge are let go after it.
struct MergeScratch {
  std::vector<Leave> leaves;
  std::vector<DiffLeave> diffLeaves;
  Metas departedMetas;
  // No more are kept past a merge than it gave up.
  SpareMetas spare;
  // The joined or departed metas of an entry of only "metas", as the callbacks see them.
  PresenceEntry joined{{kMetas, {}}};
  PresenceEntry departed{{kMetas, {}}};

  // Empty again, holding on to no list that grew large.
  void clear() {
    leaves.clear();
    diffLeaves.clear();
    departedMetas.clear();
    joined.begin()->second.clear();
    departed.begin()->second.clear();
    letGoIfLarge(leaves);
    letGoIfLarge(diffLeaves);
    letGoIfLarge(departedMetas);
    letGoIfLarge(joined.begin()->second);
    letGoIfLarge(departed.begin()->second);
  }

 private:
  template <class List>
  static void letGoIfLarge(List& list) {
    constexpr std::size_t kLargeList = 16 * 1024;
    if (list.capacity() * sizeof(typename List::value_type) > kLargeList) List().swap(list);
  }
};

// A copy of `meta`, made in the nodes of a spare meta where one is left. Metas of one view mostly have
// the same fields; a spare one of the same fields then takes the values alone, which keeps the storage of
// its texts as well.
PresenceMeta copyOf(const PresenceMeta& meta, MergeScratch& scratch) {
  if (scratch.spare.empty()) return meta;
  PresenceMeta copy = scratch.spare.take();
  const auto sameKey = [](const auto& one, const auto& other) { return one.first == other.first; };
  if (copy.size() == meta.size() && std::equal(copy.begin(), copy.end(), meta.begin(), sameKey)) {
    auto into = copy.begin();
    for (const auto& [key, value] : meta) (into++)->second = value;
  } else {
    copy = meta;
  }
  return copy;
}

void copyInto(Metas& into, const Metas& metas, MergeScratch& scratch) {
  for (const auto& meta : metas) into.push_back(copyOf(meta, scratch));
}

// A copy of an entry, its metas made as copyOf makes them.
PresenceEntry entryCopy(const PresenceEntry& entry, MergeScratch& scratch) {
  PresenceEntry copy;
  for (const auto& [key, value] : entry) {
    if (key != kMetas) {
      copy.emplace_hint(copy.end(), key, value);
      continue;
    }
    Metas& metas = copy.emplace_hint(copy.end(), key, Metas{})->second;
    metas.reserve(value.size());
    copyInto(metas, value, scratch);
  }
  return copy;
}

// Gives up `metas` to the spare ones; returns how many.
std::size_t spareAll(Metas& metas, MergeScratch& scratch) {
  return moveOut(metas, scratch.spare, [](std::size_t) { return true; });
}

// Frees the spare metas beyond the `released` last given up.
void trimSpare(MergeScratch& scratch, std::size_t released) { scratch.spare.keepNewest(released); }

// Asks for the entries of the leaves some places ahead of the one announced: by then the walk has long
// passed them.
void askAhead(const std::vector<Leave>& leaves, std::size_t index) {
  constexpr std::size_t kNode = 8;
  constexpr std::size_t kEntry = 4;
  if (index + kNode < leaves.size()) __builtin_prefetch(&*leaves[index + kNode].at);
  if (index + kEntry < leaves.size()) {
    const PresenceEntry& entry = leaves[index + kEntry].at->second;
    if (!entry.empty()) __builtin_prefetch(&*entry.begin());
  }
}

// Taken for the length of a merge; a merge started from one of its callbacks finds the shelf empty and
// fills its own storage.
class ScratchLoan {
 public:
  ScratchLoan() : scratch_(std::exchange(shelf(), MergeScratch{})) {}
  ~ScratchLoan() {
    scratch_.clear();
    shelf() = std::move(scratch_);
  }
  ScratchLoan(const ScratchLoan&) = delete;
  ScratchLoan& operator=(const ScratchLoan&) = delete;

  MergeScratch& operator*() { return scratch_; }
  MergeScratch* operator->() { return &scratch_; }

 private:
  static MergeScratch& shelf() {
    thread_local MergeScratch kept;
    return kept;
  }

  MergeScratch scratch_;
};

// One key both states hold. The join is announced at once; the entry is left as it is after the join and
// the leave together, and the leave, if any, is recorded for later.
void mergeKey(PresenceStateMap::iterator at, const PresenceEntry& given, const Metas& givenMetas, const Refs& givenRefs,
              const Presence::JoinCallback& onJoin, MergeScratch& scratch) {
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

  PresenceEntry* joined = nullptr;
  std::optional<PresenceEntry> joinedOwn;
  if (!joinedAt.empty()) {
    if (onlyMetas(given)) {
      joined = &scratch.joined;
    } else {
      joinedOwn = withMetas(given, {});
      joined = &*joinedOwn;
    }
    Metas& metas = (*joined)[kMetas];
    metas.clear();
    for (const std::size_t i : joinedAt) metas.push_back(copyOf(givenMetas[i], scratch));
    if (onJoin) {
      std::optional<PresenceEntry> before(std::move(entry));
      onJoin(at->first, before, *joined);
      entry = std::move(*before);
    }
  }

  Metas* held = metasIn(entry);
  if (leaveFollowed) {
    // The metas still listed close up in their order; the others move out to the departed ones.
    const bool plain = onlyMetas(entry);
    std::optional<PresenceEntry> departed;
    Metas* gone = &scratch.departedMetas;
    if (!plain) {
      departed = withMetas(entry, {});
      gone = &(*departed)[kMetas];
    }
    const std::size_t first = gone->size();
    moveOut(*held, *gone, [&](std::size_t i) { return !givenRefs.contains(heldRefs[i]); });
    if (plain) {
      scratch.leaves.push_back(Leave{at, Leave::Kind::metas, first, leftCount, std::nullopt});
    } else {
      scratch.leaves.push_back(Leave{at, Leave::Kind::entry, 0, 0, std::move(departed)});
    }
  }

  if (joined != nullptr) {
    // Older connections first, then the joined ones; the entry takes the given one's other lists.
    Metas& added = (*joined)[kMetas];
    if (held != nullptr && onlyMetas(entry) && onlyMetas(*joined)) {
      held->insert(held->end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    } else {
      Metas metas = held != nullptr ? std::move(*held) : Metas{};
      metas.insert(metas.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
      entry = withMetas(*joined, std::move(metas));
    }
    added.clear();
  }
}

}  // namespace

PresenceStateMap Presence::mergeState(PresenceStateMap current, const PresenceStateMap& newState,
                                      const JoinCallback& onJoin, const LeaveCallback& onLeave) {
  ScratchLoan scratch;
  const auto leave = [&](PresenceStateMap::iterator at) {
    scratch->leaves.push_back(Leave{at, Leave::Kind::whole, 0, 0, std::nullopt});
  };

  // Both states are in key order: one walk over the two joins and finds what left.
  auto mine = current.begin();
  ReadAhead heldAhead(mine, current.end());
  ReadAhead givenAhead(newState.begin(), newState.end());
  const auto next = [&] {
    ++mine;
    heldAhead.step();
  };
  for (const auto& [key, given] : newState) {
    givenAhead.step();
    for (; mine != current.end() && mine->first < key; next()) leave(mine);
    const bool known = mine != current.end() && mine->first == key;
    const Metas* givenMetas = metasIn(given);
    const Refs givenRefs(givenMetas);
    if (!givenRefs.wellFormed()) {
      if (known) next();
      continue;
    }
    if (!known) {
      const auto stored = current.emplace_hint(mine, key, entryCopy(given, *scratch));
      if (onJoin) onJoin(stored->first, std::nullopt, stored->second);
      continue;
    }
    mergeKey(mine, given, *givenMetas, givenRefs, onJoin, *scratch);
    next();
  }
  for (; mine != current.end(); next()) leave(mine);

  // The metas that leave are spare once announced.
  std::size_t released = 0;
  Metas& departedMetas = scratch->departedMetas;
  Metas& departedList = scratch->departed.begin()->second;
  for (std::size_t index = 0; index < scratch->leaves.size(); ++index) {
    askAhead(scratch->leaves, index);
    auto& [at, kind, first, count, departed] = scratch->leaves[index];
    switch (kind) {
      case Leave::Kind::metas: {
        const auto from = departedMetas.begin() + static_cast<std::ptrdiff_t>(first);
        departedList.assign(std::make_move_iterator(from),
                            std::make_move_iterator(from + static_cast<std::ptrdiff_t>(count)));
        if (onLeave) onLeave(at->first, at->second, scratch->departed);
        released += spareAll(departedList, *scratch);
        break;
      }
      case Leave::Kind::entry:
        if (onLeave) onLeave(at->first, at->second, *departed);
        released += spareAll((*departed)[kMetas], *scratch);
        departed.reset();
        break;
      case Leave::Kind::whole: {
        if (!Refs(metasIn(at->second)).wellFormed()) continue;
        PresenceEntry gone = std::move(at->second);
        if (onLeave) onLeave(at->first, withMetas(gone, {}), gone);
        released += spareAll(gone[kMetas], *scratch);
        current.erase(at);
        continue;
      }
    }
    const Metas* kept = metasIn(at->second);
    if (kept == nullptr || kept->empty()) current.erase(at);
  }
  trimSpare(*scratch, released);
  return current;
}

PresenceStateMap Presence::applyDiff(PresenceStateMap state, const PresenceDiff& diff, const JoinCallback& onJoin,
                                     const LeaveCallback& onLeave) {
  static const PresenceStateMap kNone;
  const auto joinsAt = diff.find("joins");
  const auto leavesAt = diff.find("leaves");
  const PresenceStateMap& joins = joinsAt != diff.end() ? joinsAt->second : kNone;
  const PresenceStateMap& leaves = leavesAt != diff.end() ? leavesAt->second : kNone;
  ScratchLoan scratch;

  StateCursor cursor(state);
  std::size_t released = 0;

  const auto join = [&](const std::string& key, const PresenceEntry& joined) {
    const Metas* joinedMetas = metasIn(joined);
    const Refs joinedRefs(joinedMetas);
    if (!joinedRefs.wellFormed()) return;
    auto at = cursor.seek(key);
    if (at == state.end() || at->first != key) {
      at = state.emplace_hint(at, key, entryCopy(joined, *scratch));
      cursor.added(at);
      if (onJoin) onJoin(at->first, std::nullopt, joined);
      return;
    }
    std::optional<PresenceEntry> before(std::move(at->second));
    if (onJoin) onJoin(at->first, before, joined);
    // Older connections first, then the joined ones.
    Metas* older = metasIn(*before);
    const auto rejoined = [&](const PresenceMeta& meta) { return joinedRefs.contains(metaRef(meta)); };
    if (older != nullptr && onlyMetas(*before) && onlyMetas(joined)) {
      released += moveOut(*older, scratch->spare, [&](std::size_t i) { return rejoined((*older)[i]); });
      copyInto(*older, *joinedMetas, *scratch);
      at->second = std::move(*before);
      return;
    }
    Metas metas;
    if (older != nullptr) {
      for (auto& meta : *older) {
        if (!rejoined(meta)) metas.push_back(std::move(meta));
      }
    }
    copyInto(metas, *joinedMetas, *scratch);
    at->second = withMetas(joined, std::move(metas));
  };

  const auto leave = [&](const std::string& key, const PresenceEntry& departed) {
    const Refs departedRefs(metasIn(departed));
    if (!departedRefs.wellFormed()) return;
    const auto at = cursor.seek(key);
    if (at == state.end() || at->first != key) return;
    // The callbacks are given the diff's metas, so those that leave the state are spare at once.
    Metas& metas = at->second[kMetas];
    released += moveOut(metas, scratch->spare, [&](std::size_t i) { return departedRefs.contains(metaRef(metas[i])); });
    scratch->diffLeaves.push_back(DiffLeave{at, &metas, &departed});
  };

  // A key's leave acts on its entry as its join left it, and no other key's join or leave touches that
  // entry: one walk over the state applies both lists, and only the leaves' announcements wait for every
  // join's. An entry emptied by a leave stays until its leave is announced. Only the state is read ahead:
  // a diff's own lists hold a meta or two per key, which cost less to wait for than to ask for.
  auto joining = joins.begin();
  auto leaving = leaves.begin();
  while (joining != joins.end() || leaving != leaves.end()) {
    const bool joinFirst = leaving == leaves.end() || (joining != joins.end() && joining->first <= leaving->first);
    const std::string& key = joinFirst ? joining->first : leaving->first;
    if (joining != joins.end() && joining->first == key) {
      join(joining->first, joining->second);
      ++joining;
    }
    if (leaving != leaves.end() && leaving->first == key) {
      leave(leaving->first, leaving->second);
      ++leaving;
    }
  }

  for (const auto& [entryAt, kept, departed] : scratch->diffLeaves) {
    if (onLeave) onLeave(entryAt->first, entryAt->second, *departed);
    if (kept->empty()) state.erase(entryAt);
  }
  trimSpare(*scratch, released);
  return state;
}

}  // namespace zirudeze::realtime
