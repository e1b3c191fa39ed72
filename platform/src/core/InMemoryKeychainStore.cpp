#include "platform/InMemoryKeychainStore.hpp"

#include "base/ThreadSafety.hpp"

namespace velmoria::platform {

struct InMemoryKeychainStore::State {
  mutable base::Mutex mutex;
  std::map<KeychainItemKey, base::Data> items VM_GUARDED_BY(mutex);
  std::optional<KeychainStoreError> readFailure VM_GUARDED_BY(mutex);
  std::optional<KeychainStoreError> writeFailure VM_GUARDED_BY(mutex);
  std::optional<KeychainStoreError> removeFailure VM_GUARDED_BY(mutex);
  std::size_t reads VM_GUARDED_BY(mutex) = 0;
  std::size_t writes VM_GUARDED_BY(mutex) = 0;
  std::size_t removals VM_GUARDED_BY(mutex) = 0;
};

InMemoryKeychainStore::InMemoryKeychainStore() : state_(std::make_unique<State>()) {}
InMemoryKeychainStore::~InMemoryKeychainStore() = default;

base::Data InMemoryKeychainStore::read(const KeychainItemKey& key) {
  const base::MutexLock lock(state_->mutex);
  ++state_->reads;
  if (state_->readFailure) throw *state_->readFailure;
  const auto found = state_->items.find(key);
  if (found == state_->items.end()) throw KeychainStoreError::itemNotFound();
  return found->second;
}

void InMemoryKeychainStore::write(const KeychainItemKey& key, const base::Data& value) {
  const base::MutexLock lock(state_->mutex);
  ++state_->writes;
  if (state_->writeFailure) throw *state_->writeFailure;
  state_->items.insert_or_assign(key, value);
}

void InMemoryKeychainStore::remove(const KeychainItemKey& key) {
  const base::MutexLock lock(state_->mutex);
  ++state_->removals;
  if (state_->removeFailure) throw *state_->removeFailure;
  if (state_->items.erase(key) == 0) throw KeychainStoreError::itemNotFound();
}

void InMemoryKeychainStore::failReads(std::optional<KeychainStoreError> error) {
  const base::MutexLock lock(state_->mutex);
  state_->readFailure = std::move(error);
}

void InMemoryKeychainStore::failWrites(std::optional<KeychainStoreError> error) {
  const base::MutexLock lock(state_->mutex);
  state_->writeFailure = std::move(error);
}

void InMemoryKeychainStore::failRemovals(std::optional<KeychainStoreError> error) {
  const base::MutexLock lock(state_->mutex);
  state_->removeFailure = std::move(error);
}

std::map<KeychainItemKey, base::Data> InMemoryKeychainStore::items() const {
  const base::MutexLock lock(state_->mutex);
  return state_->items;
}

std::size_t InMemoryKeychainStore::readCount() const {
  const base::MutexLock lock(state_->mutex);
  return state_->reads;
}

std::size_t InMemoryKeychainStore::writeCount() const {
  const base::MutexLock lock(state_->mutex);
  return state_->writes;
}

std::size_t InMemoryKeychainStore::removeCount() const {
  const base::MutexLock lock(state_->mutex);
  return state_->removals;
}

}  // namespace velmoria::platform
