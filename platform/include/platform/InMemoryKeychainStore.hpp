#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>

#include "platform/KeychainStore.hpp"

namespace velmoria::platform {

// The keychain of tests: items in memory, counted operations, and failures on demand.
class InMemoryKeychainStore final : public KeychainStore {
 public:
  InMemoryKeychainStore();
  ~InMemoryKeychainStore() override;

  base::Data read(const KeychainItemKey& key) override;
  void write(const KeychainItemKey& key, const base::Data& value) override;
  void remove(const KeychainItemKey& key) override;

  // Until changed, every operation of that kind fails with `error` (nothing: works again).
  void failReads(std::optional<KeychainStoreError> error);
  void failWrites(std::optional<KeychainStoreError> error);
  void failRemovals(std::optional<KeychainStoreError> error);

  std::map<KeychainItemKey, base::Data> items() const;
  // Operations asked for, failed ones included.
  std::size_t readCount() const;
  std::size_t writeCount() const;
  std::size_t removeCount() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace velmoria::platform
