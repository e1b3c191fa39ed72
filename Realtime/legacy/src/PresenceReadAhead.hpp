#pragma once

// Reading a presence view in key order is a chain of dependent loads: a key's node, its "metas" node, the
// list of metas, each meta's nodes. Once the view outgrows the cache every link is a miss, waited for one
// after the other. A ReadAhead walks some keys in front of the reader and asks for each layer a few keys
// before the reader gets there, the deeper the later, so that the misses of many keys overlap instead.
// It reads only keys the reader has yet to reach, which a merge changes only once the reader is there,
// and what it asks for the reader reads for itself again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "realtime/legacy/Presence.hpp"

namespace zirudeze::realtime {

template <class Iterator>
class ReadAhead {
 public:
  // `from` is where the reader starts.
  ReadAhead(Iterator from, Iterator end) : end_(end), ahead_(from) {
    ring_.fill(Place{end, nullptr});
    for (std::size_t i = 0; i < kLead; ++i) step();
  }

  // The reader moved on by one key.
  void step() {
    const std::size_t head = steps_++;
    ring_[head % kRing] = Place{ahead_, nullptr};
    if (ahead_ != end_) {
      ask(&*ahead_, sizeof(*ahead_));
      ++ahead_;
    }
    // Each layer reads only what the one before asked for some steps ago.
    if (const Place* place = behind(head, 1); place != nullptr && !place->at->second.empty()) {
      const auto& metas = *place->at->second.begin();
      ask(&metas, sizeof(metas));
    }
    if (Place* place = behind(head, 2); place != nullptr) {
      static const std::string kMetas = "metas";
      const auto found = place->at->second.find(kMetas);
      if (found != place->at->second.end() && !found->second.empty()) {
        place->metas = &found->second;
        ask(found->second.data(), found->second.size() * sizeof(PresenceMeta));
      }
    }
    if (const Place* place = behind(head, 3); place != nullptr && place->metas != nullptr) {
      // A meta's few nodes are made one after another, so they lie around its first one.
      for (const PresenceMeta& meta : *place->metas) {
        if (!meta.empty()) ask(address(&*meta.begin()) - kMetaSpan / 2, kMetaSpan);
      }
    }
  }

 private:
  using Metas = std::vector<PresenceMeta>;

  // A key passed, and its metas once a layer found them.
  struct Place {
    Iterator at;
    const Metas* metas;
  };

  static constexpr std::size_t kLayerGap = 2;
  static constexpr std::size_t kLead = 4 * kLayerGap;
  static constexpr std::size_t kRing = 16;
  static_assert(kRing > kLead);
  static constexpr std::size_t kLine = 64;
  static constexpr std::size_t kMetaSpan = 8 * kLine;

  // Asking never faults, so an address next to an object may be asked for too.
  static std::uintptr_t address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }
  static void ask(std::uintptr_t first, std::size_t bytes) {
    for (std::size_t offset = 0; offset < bytes; offset += kLine)
      __builtin_prefetch(reinterpret_cast<const void*>(first + offset));
  }
  static void ask(const void* at, std::size_t bytes) { ask(address(at), bytes); }

  Place* behind(std::size_t head, std::size_t layers) {
    if (head < layers * kLayerGap) return nullptr;
    Place& place = ring_[(head - layers * kLayerGap) % kRing];
    return place.at == end_ ? nullptr : &place;
  }

  Iterator end_;
  Iterator ahead_;
  std::array<Place, kRing> ring_{};
  std::size_t steps_ = 0;
};

}  // namespace zirudeze::realtime
