#pragma once

// Reading a presence view in key order is a chain of dependent loads: a key's node, its "metas" node, the
// list of metas, each meta's nodes. Once the view outgrows the cache every link is a miss, waited for one
// after the other. A ReadAhead walks some keys in front of the reader and asks for each layer a few keys
// before the reader gets there, the deeper the later, so that the misses of many keys overlap instead.
// It only asks: what it reads is read again by the reader, so a view changed behind it costs time, not
// correctness.
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
    ring_.fill(end);
    for (std::size_t i = 0; i < kLead; ++i) step();
  }

  // The reader moved on by one key.
  void step() {
    const std::size_t head = steps_++;
    ring_[head % kRing] = ahead_;
    if (ahead_ != end_) {
      ask(&*ahead_, sizeof(*ahead_));
      ++ahead_;
    }
    // Each layer reads only what the one before asked for some steps ago.
    if (const auto at = behind(head, 1); at != end_ && !at->second.empty()) {
      const auto& metas = *at->second.begin();
      ask(&metas, sizeof(metas));
    }
    if (const Metas* metas = metasAt(behind(head, 2)); metas != nullptr && !metas->empty()) {
      ask(metas->data(), metas->size() * sizeof(PresenceMeta));
    }
    if (const Metas* metas = metasAt(behind(head, 3)); metas != nullptr) {
      // A meta's few nodes are made one after another, so they lie around its first one.
      for (const PresenceMeta& meta : *metas) {
        if (!meta.empty()) ask(address(&*meta.begin()) - kMetaSpan / 2, kMetaSpan);
      }
    }
  }

 private:
  using Metas = std::vector<PresenceMeta>;

  static constexpr std::size_t kLayerGap = 2;
  static constexpr std::size_t kLead = 4 * kLayerGap;
  static constexpr std::size_t kRing = 16;
  static_assert(kRing > kLead);
  static constexpr std::size_t kLine = 64;
  static constexpr std::size_t kMetaSpan = 12 * kLine;

  // Asking never faults, so an address next to an object may be asked for too.
  static std::uintptr_t address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }
  static void ask(std::uintptr_t first, std::size_t bytes) {
    for (std::size_t offset = 0; offset < bytes; offset += kLine)
      __builtin_prefetch(reinterpret_cast<const void*>(first + offset));
  }
  static void ask(const void* at, std::size_t bytes) { ask(address(at), bytes); }

  const Metas* metasAt(Iterator at) const {
    if (at == end_) return nullptr;
    static const std::string kMetas = "metas";
    const auto found = at->second.find(kMetas);
    return found == at->second.end() ? nullptr : &found->second;
  }

  Iterator behind(std::size_t head, std::size_t layers) const {
    return head >= layers * kLayerGap ? ring_[(head - layers * kLayerGap) % kRing] : end_;
  }

  Iterator end_;
  Iterator ahead_;
  std::array<Iterator, kRing> ring_{};
  std::size_t steps_ = 0;
};

}  // namespace zirudeze::realtime
