#include "base/Check.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::http::detail {

std::shared_ptr<FieldStorage> FieldStorage::copy() const {
  auto result = std::make_shared<FieldStorage>();
  // A reader may be building the index (and rewriting links) right now.
  const velmoria::base::MutexLock lock(mutex_);
  result->entries = entries;
  result->index_ = index_;
  result->indexReady_.store(index_.has_value(), std::memory_order_relaxed);
  return result;
}

void FieldStorage::buildIndexLocked() {
  if (index_) return;
  Index index;
  index.reserve(entries.size());
  // Only the links change here, and nothing reads them while the index is absent.
  auto& links = entries;
  const auto nameAt = [&links](std::uint16_t p) -> std::string_view { return links[p].field.name().canonicalName(); };
  for (std::size_t i = 0; i < links.size(); ++i) {
    VM_CHECK(i < kEndOfChain, "HTTP field position out of range");
    const auto position = static_cast<std::uint16_t>(i);
    links[i].next = kEndOfChain;
    const std::string& name = links[i].field.name().canonicalName();
    IndexEntry& entry = index.findOrInsert(name, FieldNameIndex::hashOf(name), position, nameAt);
    if (entry.last != kEndOfChain) links[entry.last].next = position;
    entry.last = position;
  }
  index_ = std::move(index);
  indexReady_.store(true, std::memory_order_release);
}

const FieldStorage::Index& FieldStorage::ensuredIndex() {
  if (!indexReady_.load(std::memory_order_acquire)) {
    const velmoria::base::MutexLock lock(mutex_);
    buildIndexLocked();
  }
  return *index_;
}

const IndexEntry* FieldStorage::find(const Index& index, std::string_view canonicalName) const {
  return index.find(canonicalName, FieldNameIndex::hashOf(canonicalName),
                    [this](std::uint16_t p) -> std::string_view { return entries[p].field.name().canonicalName(); });
}

std::uint16_t FieldStorage::firstPosition(std::string_view canonicalName) {
  const IndexEntry* entry = find(ensuredIndex(), canonicalName);
  return entry == nullptr ? kEndOfChain : entry->first;
}

void FieldStorage::append(HTTPField field) {
  VM_CHECK(!field.name().isPseudo(), "HTTP pseudo header field cannot be stored in a field list");
  VM_CHECK(entries.size() <= kEndOfChain, "Too many HTTP fields");
  const auto position = static_cast<std::uint16_t>(entries.size());
  if (index_) {
    const std::string& name = field.name().canonicalName();
    IndexEntry& entry = index_->findOrInsert(
        name, FieldNameIndex::hashOf(name), position,
        [this](std::uint16_t p) -> std::string_view { return entries[p].field.name().canonicalName(); });
    if (entry.last != kEndOfChain) entries[entry.last].next = position;
    entry.last = position;
  }
  // Most messages carry a handful to a few dozen fields; start with room for them.
  if (entries.capacity() == 0) entries.reserve(16);
  entries.push_back(FieldEntry{std::move(field), kEndOfChain});
  VM_CHECK(entries.size() <= 0xFFFE, "Too many HTTP fields");
}

void FieldStorage::dropIndex() noexcept {
  index_.reset();
  indexReady_.store(false, std::memory_order_relaxed);
}

}  // namespace zirudeze::http::detail
