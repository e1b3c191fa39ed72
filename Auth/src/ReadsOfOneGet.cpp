#include "ReadsOfOneGet.hpp"

#include <utility>

namespace zirudeze::auth::detail {
namespace {

thread_local ReadsOfOneGet* installed = nullptr;
thread_local AuthLocalStorage* installedOver = nullptr;

}  // namespace

ReadsOfOneGet::ReadsOfOneGet(AuthLocalStorage& storage) : storage_(storage), outer_(installed) {
  installed = this;
  installedOver = &storage;
}

ReadsOfOneGet::~ReadsOfOneGet() {
  installed = outer_;
  installedOver = outer_ ? &outer_->storage_ : nullptr;
}

AuthLocalStorage& ReadsOfOneGet::over(AuthLocalStorage& storage) {
  if (installed && installedOver == &storage) return *installed;
  return storage;
}

const ReadsOfOneGet::Read& ReadsOfOneGet::readOnce(const std::string& key, bool quietly) {
  auto found = reads_.find(key);
  if (found != reads_.end()) return found->second;
  Read read;
  try {
    auto value = quietly ? storage_.retrieveIfPresent(key) : storage_.retrieve(key);
    if (value) {
      read = std::move(*value);
    } else {
      read = Absent{};
    }
  } catch (...) {
    read = std::current_exception();
  }
  return reads_.emplace(key, std::move(read)).first->second;
}

std::optional<velmoria::base::Data> ReadsOfOneGet::retrieve(const std::string& key) {
  const Read& read = readOnce(key, false);
  if (const auto* failure = std::get_if<std::exception_ptr>(&read)) std::rethrow_exception(*failure);
  if (const auto* value = std::get_if<velmoria::base::Data>(&read)) return *value;
  // Found missing by a quiet read: the storage's own answer for a missing value (a failure, for the
  // keychain) is asked for once more.
  return storage_.retrieve(key);
}

std::optional<velmoria::base::Data> ReadsOfOneGet::retrieveIfPresent(const std::string& key) {
  const Read& read = readOnce(key, true);
  if (const auto* failure = std::get_if<std::exception_ptr>(&read)) std::rethrow_exception(*failure);
  if (const auto* value = std::get_if<velmoria::base::Data>(&read)) return *value;
  return std::nullopt;
}

void ReadsOfOneGet::store(const std::string& key, const velmoria::base::Data& value) {
  // A failed write leaves the key to be read anew.
  reads_.erase(key);
  storage_.store(key, value);
  reads_.insert_or_assign(key, Read(value));
}

void ReadsOfOneGet::remove(const std::string& key) {
  reads_.erase(key);
  storage_.remove(key);
}

}  // namespace zirudeze::auth::detail
