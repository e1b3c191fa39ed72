#include "httptypes/HTTPFields.hpp"

#include "FatalError.hpp"

namespace zirudeze::http::detail {

std::shared_ptr<FieldStorage> FieldStorage::copy() const {
  auto result = std::make_shared<FieldStorage>();
  // A reader may be building the index (and rewriting links) right now.
  const std::lock_guard lock(mutex_);
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
  for (std::size_t i = 0; i < links.size(); ++i) {
    precondition(i < kEndOfChain, "HTTP field position out of range");
    const auto position = static_cast<std::uint16_t>(i);
    links[i].next = kEndOfChain;
    const auto [it, inserted] = index.try_emplace(links[i].field.name().canonicalName(), IndexEntry{position, position});
    if (!inserted) {
      links[it->second.last].next = position;
      it->second.last = position;
    }
  }
  index_ = std::move(index);
  indexReady_.store(true, std::memory_order_release);
}

const FieldStorage::Index& FieldStorage::ensuredIndex() {
  if (!indexReady_.load(std::memory_order_acquire)) {
    const std::lock_guard lock(mutex_);
    buildIndexLocked();
  }
  return *index_;
}

std::uint16_t FieldStorage::firstPosition(const std::string& canonicalName) {
  const Index& index = ensuredIndex();
  const auto it = index.find(canonicalName);
  return it == index.end() ? kEndOfChain : it->second.first;
}

void FieldStorage::append(HTTPField field) {
  precondition(!field.name().isPseudo(), "HTTP pseudo header field cannot be stored in a field list");
  precondition(entries.size() <= kEndOfChain, "Too many HTTP fields");
  const auto position = static_cast<std::uint16_t>(entries.size());
  if (index_) {
    const auto [it, inserted] = index_->try_emplace(field.name().canonicalName(), IndexEntry{position, position});
    if (!inserted) {
      entries[it->second.last].next = position;
      it->second.last = position;
    }
  }
  entries.push_back(FieldEntry{std::move(field), kEndOfChain});
  precondition(entries.size() <= 0xFFFE, "Too many HTTP fields");
}

void FieldStorage::dropIndex() noexcept {
  index_.reset();
  indexReady_.store(false, std::memory_order_relaxed);
}

}  // namespace zirudeze::http::detail
