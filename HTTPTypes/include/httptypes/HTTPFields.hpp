#pragma once

#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Coding.hpp"
#include "base/ThreadSafety.hpp"
#include "httptypes/FieldNameIndex.hpp"
#include "httptypes/HTTPField.hpp"
#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

class HTTPFields;

}  // namespace zirudeze::http

namespace zirudeze::http::detail {

struct FieldEntry {
  HTTPField field;
  std::uint16_t next;  // next position with the same canonical name, or kEndOfChain
};

// Shared by copies of one HTTPFields value; only a unique owner changes it. A reader may build the index
// lazily, so that build runs under the mutex. The index and the links are not marked as guarded by it: the
// unique owner changes them without it, and readers see a built index through `indexReady_`.
class FieldStorage {
 public:
  using Index = FieldNameIndex;

  FieldStorage() : index_(std::in_place) {}

  [[nodiscard]] std::shared_ptr<FieldStorage> copy() const;

  // First position of the name's chain (kEndOfChain when absent), building the index first if needed.
  [[nodiscard]] std::uint16_t firstPosition(std::string_view canonicalName);
  [[nodiscard]] const IndexEntry* find(const Index& index, std::string_view canonicalName) const;
  // The built index; the caller only reads it, and only while the storage is not changed.
  [[nodiscard]] const Index& ensuredIndex();
  [[nodiscard]] std::optional<Index>& indexForChange() noexcept { return index_; }

  void append(HTTPField field);  // caller holds the only reference
  void dropIndex() noexcept;
  [[nodiscard]] bool hasIndex() const noexcept { return indexReady_.load(std::memory_order_acquire); }
  [[nodiscard]] velmoria::base::Mutex& mutex() const noexcept { return mutex_; }

  std::vector<FieldEntry> entries;

 private:
  void buildIndexLocked() VM_REQUIRES(mutex_);

  mutable velmoria::base::Mutex mutex_;
  std::optional<Index> index_;
  std::atomic<bool> indexReady_{true};
};

}  // namespace zirudeze::http::detail

namespace zirudeze::http {

// The ordered header fields of one message, with lookups by name that do not scan the list. Copies share
// storage until one of them changes.
class HTTPFields {
 public:
  using Name = HTTPField::Name;
  using value_type = HTTPField;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;

  // The largest number of fields one list holds.
  static constexpr std::size_t maximumCount = 0xFFFE;

  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using iterator_concept = std::random_access_iterator_tag;
    using value_type = HTTPField;
    using difference_type = std::ptrdiff_t;
    using pointer = const HTTPField*;
    using reference = const HTTPField&;

    const_iterator() = default;
    explicit const_iterator(std::vector<detail::FieldEntry>::const_iterator it) : it_(it) {}

    reference operator*() const { return it_->field; }
    pointer operator->() const { return &it_->field; }
    reference operator[](difference_type n) const { return it_[n].field; }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    const_iterator operator++(int) {
      auto old = *this;
      ++it_;
      return old;
    }
    const_iterator& operator--() {
      --it_;
      return *this;
    }
    const_iterator operator--(int) {
      auto old = *this;
      --it_;
      return old;
    }
    const_iterator& operator+=(difference_type n) {
      it_ += n;
      return *this;
    }
    const_iterator& operator-=(difference_type n) {
      it_ -= n;
      return *this;
    }
    friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
    friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
    friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b) { return a.it_ - b.it_; }
    friend bool operator==(const const_iterator&, const const_iterator&) = default;
    friend auto operator<=>(const const_iterator&, const const_iterator&) = default;

   private:
    std::vector<detail::FieldEntry>::const_iterator it_;
  };
  using iterator = const_iterator;

  HTTPFields();
  // Name/value pairs in order; each value is repaired as HTTPField repairs text. Pseudo names are refused.
  HTTPFields(std::initializer_list<std::pair<Name, std::string_view>> pairs);
  template <typename Range>
  requires std::convertible_to<decltype(*std::begin(std::declval<const Range&>())), const HTTPField&>
  explicit HTTPFields(const Range& fields) : HTTPFields() { append(fields); }
  [[nodiscard]] static HTTPFields repeating(const HTTPField& field, std::ptrdiff_t count);

  // Shares the storage; there is deliberately no move, so a moved-from list stays a valid empty-or-copy.
  HTTPFields(const HTTPFields&) = default;
  HTTPFields& operator=(const HTTPFields&) = default;
  ~HTTPFields() = default;

  // --- By name -----------------------------------------------------------------------------------------

  // All values of the name in order, joined by ", " ("; " for cookies); none when the name is absent.
  [[nodiscard]] std::optional<std::string> operator[](const Name& name) const;
  // None removes every field of the name; a text replaces them (a cookie text is split at "; ").
  void set(const Name& name, std::optional<std::string_view> value);
  template <typename Change>
  void modify(const Name& name, Change&& change) {
    std::optional<std::string> value = (*this)[name];
    std::forward<Change>(change)(value);
    set(name, value ? std::optional<std::string_view>(*value) : std::nullopt);
  }

  [[nodiscard]] std::vector<std::string> values(const Name& name) const;
  void setValues(const Name& name, const std::vector<std::string>& values);
  template <typename Change>
  void modifyValues(const Name& name, Change&& change) {
    std::vector<std::string> list = values(name);
    std::forward<Change>(change)(list);
    setValues(name, list);
  }

  [[nodiscard]] std::vector<HTTPField> fields(const Name& name) const;
  // Every given field must bear the name.
  void setFields(const Name& name, const std::vector<HTTPField>& fields);
  template <typename Change>
  void modifyFields(const Name& name, Change&& change) {
    std::vector<HTTPField> list = fields(name);
    std::forward<Change>(change)(list);
    setFields(name, list);
  }

  [[nodiscard]] bool contains(const Name& name) const;

  // --- By position ---------------------------------------------------------------------------------------

  [[nodiscard]] std::size_t count() const noexcept { return storage_->entries.size(); }
  [[nodiscard]] std::size_t size() const noexcept { return count(); }
  [[nodiscard]] bool isEmpty() const noexcept { return storage_->entries.empty(); }
  [[nodiscard]] bool empty() const noexcept { return isEmpty(); }

  [[nodiscard]] const_iterator begin() const noexcept { return const_iterator(storage_->entries.cbegin()); }
  [[nodiscard]] const_iterator end() const noexcept { return const_iterator(storage_->entries.cend()); }

  [[nodiscard]] const HTTPField& operator[](std::size_t position) const;
  void set(std::size_t position, HTTPField field);
  template <typename Change>
  void modify(std::size_t position, Change&& change) {
    HTTPField field = (*this)[position];
    std::forward<Change>(change)(field);
    set(position, std::move(field));
  }

  // A view of positions lower..<upper of this list, valid while the list is unchanged.
  struct Subrange {
    const_iterator first;
    const_iterator last;
    [[nodiscard]] const_iterator begin() const noexcept { return first; }
    [[nodiscard]] const_iterator end() const noexcept { return last; }
    [[nodiscard]] std::size_t size() const noexcept { return static_cast<std::size_t>(last - first); }
  };
  [[nodiscard]] Subrange subrange(std::size_t lower, std::size_t upper) const;
  // Sets positions lower, lower+1, ... one by one; the counts must match.
  void assignSubrange(std::size_t lower, std::size_t upper, const std::vector<HTTPField>& fields);

  void append(HTTPField field);
  template <typename Range>
  requires std::convertible_to<decltype(*std::begin(std::declval<const Range&>())), const HTTPField&>
  void append(const Range& fields) {
    replaceSubrange(count(), count(), std::vector<HTTPField>(std::begin(fields), std::end(fields)));
  }
  void insert(HTTPField field, std::size_t position);
  template <typename Range>
  requires std::convertible_to<decltype(*std::begin(std::declval<const Range&>())), const HTTPField&>
  void insert(const Range& fields, std::size_t position) {
    replaceSubrange(position, position, std::vector<HTTPField>(std::begin(fields), std::end(fields)));
  }
  void replaceSubrange(std::size_t lower, std::size_t upper, const std::vector<HTTPField>& fields);

  HTTPField remove(std::size_t position);
  void removeSubrange(std::size_t lower, std::size_t upper);
  HTTPField removeFirst();
  void removeFirst(std::ptrdiff_t k);
  void removeAll(bool keepingCapacity = false);
  template <typename Predicate>
  requires std::predicate<Predicate&, const HTTPField&>
  void removeAll(Predicate&& shouldBeRemoved);
  void swapAt(std::size_t i, std::size_t j);
  // Moves the fields the predicate accepts behind the others; returns the first position of those.
  template <typename Predicate>
  requires std::predicate<Predicate&, const HTTPField&> std::size_t partition(Predicate&& belongsInSecondPartition);
  void reserveCapacity(std::size_t n);

  // --- Values --------------------------------------------------------------------------------------------

  // Equal when each name has equal fields in the same order; the interleaving of names does not matter.
  friend bool operator==(const HTTPFields& lhs, const HTTPFields& rhs);
  // Feeds every field in position order.
  void hash(Hasher& hasher) const noexcept;

  // Coded as an array of fields in position order. Decoding refuses pseudo-header fields and lists longer
  // than maximumCount with a data-corrupted error.
  void encode(velmoria::base::Encoder& encoder) const;
  [[nodiscard]] static HTTPFields decode(const velmoria::base::Decoder& decoder);

  // "[(field: A: 1, next: 65535), ...]": shows the internal links.
  [[nodiscard]] std::string debugDescription() const;

 private:
  void makeUnique();
  void replaceFieldsOfName(const Name& name, const std::vector<HTTPField>& fields);
  [[nodiscard]] std::vector<std::uint16_t> chain(const Name& name) const;

  std::shared_ptr<detail::FieldStorage> storage_;
};

template <typename Predicate>
requires std::predicate<Predicate&, const HTTPField&>
void HTTPFields::removeAll(Predicate&& shouldBeRemoved) {
  // Kept fields move to the front in their order, then the tail goes.
  std::size_t i = 0;
  const std::size_t n = count();
  while (i < n && !shouldBeRemoved(std::as_const(*this)[i])) ++i;
  if (i == n) return;
  for (std::size_t j = i + 1; j < n; ++j) {
    if (!shouldBeRemoved(std::as_const(*this)[j])) {
      swapAt(i, j);
      ++i;
    }
  }
  removeSubrange(i, n);
}

template <typename Predicate>
requires std::predicate<Predicate&, const HTTPField&> std::size_t HTTPFields::partition(
    Predicate&& belongsInSecondPartition) {
  std::size_t lo = 0;
  std::size_t hi = count();
  while (true) {
    while (true) {
      if (lo == hi) return lo;
      if (belongsInSecondPartition(std::as_const(*this)[lo])) break;
      ++lo;
    }
    while (true) {
      --hi;
      if (lo == hi) return lo;
      if (!belongsInSecondPartition(std::as_const(*this)[hi])) break;
    }
    swapAt(lo, hi);
    ++lo;
  }
}

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPFields> {
  std::size_t operator()(const zirudeze::http::HTTPFields& fields) const noexcept {
    return zirudeze::http::Hasher::hashOf(fields);
  }
};
