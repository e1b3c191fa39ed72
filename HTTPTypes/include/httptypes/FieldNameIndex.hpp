#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zirudeze::http::detail {

inline constexpr std::uint16_t kEndOfChain = 0xFFFF;

// First and last position of one canonical name. A slot whose `first` is kEndOfChain is empty.
struct IndexEntry {
  std::uint16_t first = kEndOfChain;
  std::uint16_t last = kEndOfChain;
  std::uint32_t hash = 0;
};

// Open-addressing map from canonical name to its chain ends. It stores no names: a slot's name is the
// canonical name of the field at its `first` position, read through the caller's accessor.
class FieldNameIndex {
 public:
  [[nodiscard]] static std::uint32_t hashOf(std::string_view canonicalName) noexcept;

  [[nodiscard]] std::size_t size() const noexcept { return count_; }
  void reserve(std::size_t names);

  // The slot of the name, or nullptr.
  template <typename NameAt>
  [[nodiscard]] const IndexEntry* find(std::string_view canonicalName, std::uint32_t hash, NameAt&& nameAt) const {
    if (slots_.empty()) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const IndexEntry& slot = slots_[i];
      if (slot.first == kEndOfChain) return nullptr;
      if (slot.hash == hash && nameAt(slot.first) == canonicalName) return &slot;
    }
  }

  // The slot of the name, made empty-chained ({kEndOfChain, kEndOfChain}) when the name is new.
  template <typename NameAt>
  IndexEntry& findOrInsert(std::string_view canonicalName, std::uint32_t hash, std::uint16_t position,
                           NameAt&& nameAt) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      IndexEntry& slot = slots_[i];
      if (slot.first == kEndOfChain) {
        ++count_;
        slot = IndexEntry{position, kEndOfChain, hash};
        return slot;
      }
      if (slot.hash == hash && nameAt(slot.first) == canonicalName) return slot;
    }
  }

  template <typename Visit>
  void forEach(Visit&& visit) const {
    for (const IndexEntry& slot : slots_) {
      if (slot.first != kEndOfChain) visit(slot);
    }
  }

 private:
  void grow();
  void rehash(std::size_t capacity);

  std::vector<IndexEntry> slots_;
  std::size_t count_ = 0;
};

}  // namespace zirudeze::http::detail
