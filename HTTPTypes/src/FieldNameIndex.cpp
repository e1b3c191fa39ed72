#include "httptypes/FieldNameIndex.hpp"

#include <functional>

namespace zirudeze::http::detail {

std::uint32_t FieldNameIndex::hashOf(std::string_view canonicalName) noexcept {
  const std::size_t hash = std::hash<std::string_view>{}(canonicalName);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

void FieldNameIndex::reserve(std::size_t names) {
  std::size_t capacity = 8;
  while (capacity < names * 2) capacity *= 2;
  if (capacity > slots_.size()) rehash(capacity);
}

void FieldNameIndex::grow() { rehash(slots_.empty() ? 8 : slots_.size() * 2); }

void FieldNameIndex::rehash(std::size_t capacity) {
  std::vector<IndexEntry> old = std::move(slots_);
  slots_.assign(capacity, IndexEntry{});
  const std::size_t mask = capacity - 1;
  for (const IndexEntry& entry : old) {
    if (entry.first == kEndOfChain) continue;
    std::size_t i = entry.hash & mask;
    while (slots_[i].first != kEndOfChain) i = (i + 1) & mask;
    slots_[i] = entry;
  }
}

}  // namespace zirudeze::http::detail
