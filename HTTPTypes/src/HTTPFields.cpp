#include "httptypes/HTTPFields.hpp"

#include <algorithm>

#include "UniqueOwnership.hpp"
#include "base/Check.hpp"

namespace zirudeze::http {
namespace {

using detail::kEndOfChain;

std::string_view separatorFor(const HTTPField::Name& name) { return name.canonicalName() == "cookie" ? "; " : ", "; }

// Every piece, empty ones included: "a; " gives "a" and "".
std::vector<std::string_view> splitCookie(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find("; ", start);
    if (found == std::string_view::npos) break;
    pieces.push_back(text.substr(start, found - start));
    start = found + 2;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

}  // namespace

HTTPFields::HTTPFields() : storage_(std::make_shared<detail::FieldStorage>()) {}

HTTPFields::HTTPFields(std::initializer_list<std::pair<Name, std::string_view>> pairs) : HTTPFields() {
  storage_->entries.reserve(pairs.size());
  storage_->indexForChange()->reserve(pairs.size());
  for (const auto& [name, value] : pairs) {
    VM_CHECK(!name.isPseudo(), "HTTP pseudo header field cannot be stored in a field list");
    storage_->append(HTTPField(name, value));
  }
}

HTTPFields HTTPFields::repeating(const HTTPField& field, std::ptrdiff_t count) {
  VM_CHECK(count >= 0, "Negative HTTP field repeat count");
  HTTPFields result;
  for (std::ptrdiff_t i = 0; i < count; ++i) result.append(field);
  return result;
}

void HTTPFields::makeUnique() {
  if (!detail::isUniquelyOwned(storage_)) storage_ = storage_->copy();
}

std::vector<std::uint16_t> HTTPFields::chain(const Name& name) const {
  std::vector<std::uint16_t> positions;
  for (std::uint16_t p = storage_->firstPosition(name.canonicalName()); p != kEndOfChain;
       p = storage_->entries[p].next) {
    positions.push_back(p);
  }
  return positions;
}

// --- By name -----------------------------------------------------------------------------------------------

std::optional<std::string> HTTPFields::operator[](const Name& name) const {
  const auto& entries = storage_->entries;
  std::uint16_t p = storage_->firstPosition(name.canonicalName());
  if (p == kEndOfChain) return std::nullopt;
  std::string joined = entries[p].field.value();
  const std::string_view separator = separatorFor(name);
  for (p = entries[p].next; p != kEndOfChain; p = entries[p].next) {
    joined.append(separator);
    joined.append(entries[p].field.value());
  }
  return joined;
}

std::vector<std::string> HTTPFields::values(const Name& name) const {
  std::vector<std::string> result;
  const auto& entries = storage_->entries;
  for (std::uint16_t p = storage_->firstPosition(name.canonicalName()); p != kEndOfChain; p = entries[p].next) {
    result.push_back(entries[p].field.value());
  }
  return result;
}

std::vector<HTTPField> HTTPFields::fields(const Name& name) const {
  std::vector<HTTPField> result;
  const auto& entries = storage_->entries;
  for (std::uint16_t p = storage_->firstPosition(name.canonicalName()); p != kEndOfChain; p = entries[p].next) {
    result.push_back(entries[p].field);
  }
  return result;
}

bool HTTPFields::contains(const Name& name) const {
  return storage_->firstPosition(name.canonicalName()) != kEndOfChain;
}

void HTTPFields::set(const Name& name, std::optional<std::string_view> value) {
  std::vector<HTTPField> replacement;
  if (value) {
    if (name.canonicalName() == "cookie") {
      for (const std::string_view piece : splitCookie(*value)) replacement.emplace_back(name, piece);
    } else {
      replacement.emplace_back(name, *value);
    }
  }
  replaceFieldsOfName(name, replacement);
}

void HTTPFields::setValues(const Name& name, const std::vector<std::string>& values) {
  std::vector<HTTPField> replacement;
  replacement.reserve(values.size());
  for (const auto& value : values) replacement.emplace_back(name, value);
  replaceFieldsOfName(name, replacement);
}

void HTTPFields::setFields(const Name& name, const std::vector<HTTPField>& fields) {
  for (const auto& field : fields) {
    // A field of another name would sit in this name's chain and corrupt the index.
    VM_CHECK(field.name() == name, "HTTP field set under another name");
  }
  replaceFieldsOfName(name, fields);
}

void HTTPFields::replaceFieldsOfName(const Name& name, const std::vector<HTTPField>& fields) {
  makeUnique();
  auto& entries = storage_->entries;
  std::size_t written = 0;
  std::vector<bool> removed;
  for (std::uint16_t p = storage_->firstPosition(name.canonicalName()); p != kEndOfChain; p = entries[p].next) {
    if (written < fields.size()) {
      entries[p].field = fields[written++];
    } else {
      if (removed.empty()) removed.resize(entries.size(), false);
      removed[p] = true;
    }
  }
  if (!removed.empty()) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (removed[i]) continue;
      if (kept != i) entries[kept] = std::move(entries[i]);
      ++kept;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(kept), entries.end());
    storage_->dropIndex();
  }
  for (std::size_t i = written; i < fields.size(); ++i) storage_->append(fields[i]);
}

// --- By position -------------------------------------------------------------------------------------------

const HTTPField& HTTPFields::operator[](std::size_t position) const {
  VM_CHECK(position < count(), "HTTP field position out of range");
  return storage_->entries[position].field;
}

void HTTPFields::set(std::size_t position, HTTPField field) {
  VM_CHECK(position < count(), "HTTP field position out of range");
  if (storage_->entries[position].field == field) return;
  makeUnique();
  auto& entry = storage_->entries[position];
  if (!(entry.field.name() == field.name())) {
    VM_CHECK(!field.name().isPseudo(), "HTTP pseudo header field cannot be stored in a field list");
    storage_->dropIndex();
  }
  entry.field = std::move(field);
}

HTTPFields::Subrange HTTPFields::subrange(std::size_t lower, std::size_t upper) const {
  VM_CHECK(lower <= upper && upper <= count(), "HTTP field range out of bounds");
  return {begin() + static_cast<difference_type>(lower), begin() + static_cast<difference_type>(upper)};
}

void HTTPFields::assignSubrange(std::size_t lower, std::size_t upper, const std::vector<HTTPField>& fields) {
  VM_CHECK(lower <= upper && upper <= count(), "HTTP field range out of bounds");
  VM_CHECK(upper - lower == fields.size(), "HTTP field range assigned from a list of another size");
  for (std::size_t i = 0; i < fields.size(); ++i) set(lower + i, fields[i]);
}

void HTTPFields::append(HTTPField field) {
  // The common way to build a list: no temporary vector, and the index stays exact.
  makeUnique();
  storage_->append(std::move(field));
}

void HTTPFields::insert(HTTPField field, std::size_t position) {
  replaceSubrange(position, position, {std::move(field)});
}

void HTTPFields::replaceSubrange(std::size_t lower, std::size_t upper, const std::vector<HTTPField>& fields) {
  VM_CHECK(lower <= upper && upper <= count(), "HTTP field range out of bounds");
  makeUnique();
  auto& entries = storage_->entries;
  if (lower == entries.size()) {
    for (const auto& field : fields) storage_->append(field);
    return;
  }
  for (const auto& field : fields) {
    VM_CHECK(!field.name().isPseudo(), "HTTP pseudo header field cannot be stored in a field list");
  }
  VM_CHECK(entries.size() - (upper - lower) + fields.size() <= maximumCount, "Too many HTTP fields");
  storage_->dropIndex();
  std::vector<detail::FieldEntry> replacement;
  replacement.reserve(fields.size());
  for (const auto& field : fields) replacement.push_back(detail::FieldEntry{field, 0});
  const auto first = entries.begin() + static_cast<std::ptrdiff_t>(lower);
  const auto last = entries.begin() + static_cast<std::ptrdiff_t>(upper);
  entries.insert(entries.erase(first, last), replacement.begin(), replacement.end());
}

HTTPField HTTPFields::remove(std::size_t position) {
  VM_CHECK(position < count(), "HTTP field position out of range");
  HTTPField field = storage_->entries[position].field;
  removeSubrange(position, position + 1);
  return field;
}

void HTTPFields::removeSubrange(std::size_t lower, std::size_t upper) {
  VM_CHECK(lower <= upper && upper <= count(), "HTTP field range out of bounds");
  makeUnique();
  auto& entries = storage_->entries;
  if (lower == entries.size()) return;
  storage_->dropIndex();
  entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(lower),
                entries.begin() + static_cast<std::ptrdiff_t>(upper));
}

HTTPField HTTPFields::removeFirst() { return remove(0); }

void HTTPFields::removeFirst(std::ptrdiff_t k) {
  VM_CHECK(k >= 0 && static_cast<std::size_t>(k) <= count(), "HTTP field count out of range");
  if (k == 0) return;
  removeSubrange(0, static_cast<std::size_t>(k));
}

void HTTPFields::removeAll(bool keepingCapacity) {
  if (keepingCapacity) {
    removeSubrange(0, count());
  } else {
    storage_ = std::make_shared<detail::FieldStorage>();
  }
}

void HTTPFields::swapAt(std::size_t i, std::size_t j) {
  if (i == j) return;
  HTTPField atI = (*this)[i];
  HTTPField atJ = (*this)[j];
  set(i, std::move(atJ));
  set(j, std::move(atI));
}

void HTTPFields::reserveCapacity(std::size_t n) {
  makeUnique();
  if (auto& index = storage_->indexForChange()) index->reserve(n);
  storage_->entries.reserve(std::max(n, count()));
}

// --- Values --------------------------------------------------------------------------------------------------

bool operator==(const HTTPFields& lhs, const HTTPFields& rhs) {
  // The two locks are taken one after the other, never together.
  const auto& left = lhs.storage_->ensuredIndex();
  const auto& right = rhs.storage_->ensuredIndex();
  if (left.size() != right.size()) return false;
  const auto& leftEntries = lhs.storage_->entries;
  const auto& rightEntries = rhs.storage_->entries;
  bool equal = true;
  left.forEach([&](const detail::IndexEntry& entry) {
    if (!equal) return;
    const detail::IndexEntry* other = rhs.storage_->find(right, leftEntries[entry.first].field.name().canonicalName());
    if (other == nullptr) {
      equal = false;
      return;
    }
    std::uint16_t a = entry.first;
    std::uint16_t b = other->first;
    while (a != kEndOfChain && b != kEndOfChain) {
      if (!(leftEntries[a].field == rightEntries[b].field)) {
        equal = false;
        return;
      }
      a = leftEntries[a].next;
      b = rightEntries[b].next;
    }
    if (a != b) equal = false;
  });
  return equal;
}

void HTTPFields::hash(Hasher& hasher) const noexcept {
  for (const auto& entry : storage_->entries) entry.field.hash(hasher);
}

std::string HTTPFields::debugDescription() const {
  // Taking the lock keeps the links steady against a reader building the index.
  const velmoria::base::MutexLock lock(storage_->mutex());
  std::string text = "[";
  bool first = true;
  for (const auto& entry : storage_->entries) {
    if (!first) text += ", ";
    first = false;
    text += "(field: " + entry.field.description() + ", next: " + std::to_string(entry.next) + ")";
  }
  text += "]";
  return text;
}

}  // namespace zirudeze::http
