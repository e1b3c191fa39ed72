#pragma once

#include <memory>
#include <optional>
#include <string>

#include "auth/AuthLocalStorage.hpp"
#include "auth/KeychainError.hpp"
#include "base/Data.hpp"
#include "platform/KeychainStore.hpp"

namespace zirudeze::auth {

// Generic-password items of one service and access group (each may be absent), one per key, the key
// being the item's account. Every failure is a KeychainError; a missing item fails with itemNotFound.
class Keychain {
 public:
  // The process's keychain unless `store` names another.
  explicit Keychain(std::optional<std::string> service = std::nullopt,
                    std::optional<std::string> accessGroup = std::nullopt,
                    std::shared_ptr<velmoria::platform::KeychainStore> store = nullptr);

  const std::optional<std::string>& service() const noexcept { return service_; }
  const std::optional<std::string>& accessGroup() const noexcept { return accessGroup_; }

  velmoria::base::Data data(const std::string& forKey) const;
  // Nothing for an item never written, other failures as data's.
  std::optional<velmoria::base::Data> dataIfPresent(const std::string& forKey) const;
  // Creates the item or replaces its value.
  void set(const velmoria::base::Data& value, const std::string& forKey) const;
  void deleteItem(const std::string& forKey) const;

 private:
  velmoria::platform::KeychainItemKey itemKey(const std::string& key) const;

  std::optional<std::string> service_;
  std::optional<std::string> accessGroup_;
  std::shared_ptr<velmoria::platform::KeychainStore> store_;
};

// The auth client's storage in the keychain. It never answers "nothing": a key never written fails
// with KeychainError itemNotFound.
class KeychainLocalStorage final : public AuthLocalStorage {
 public:
  explicit KeychainLocalStorage(Keychain keychain) : keychain(std::move(keychain)) {}

  void store(const std::string& key, const velmoria::base::Data& value) override { keychain.set(value, key); }
  std::optional<velmoria::base::Data> retrieve(const std::string& key) override { return keychain.data(key); }
  std::optional<velmoria::base::Data> retrieveIfPresent(const std::string& key) override {
    return keychain.dataIfPresent(key);
  }
  void remove(const std::string& key) override { keychain.deleteItem(key); }

  const Keychain keychain;
};

}  // namespace zirudeze::auth
