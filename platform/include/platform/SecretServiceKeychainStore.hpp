#pragma once

#include <memory>
#include <string>

#include "platform/KeychainStore.hpp"

namespace velmoria::platform {

// Keychain items as Secret Service items (the desktop keyring), under a schema of our own with the
// string attributes "service", "account" and "accessGroup", each set only when present; the value is
// kept as binary. An item is identified by exactly its attributes.
//
// A locked item or collection is unlocked through the service's prompt. A dismissed prompt fails with
// userCanceled; after that the process prompts no more, and locked items fail with
// interactionNotAllowed, so a periodic read cannot raise a dialog again and again.
//
// The store remembers where it last read each item and reads it from there in one round trip; only when
// nothing is there any more (deleted, locked, replaced by a new item) does it search again.
class SecretServiceKeychainStore final : public KeychainStore {
 public:
  // Schema name and label prefix of our items.
  static constexpr const char* kSchemaName = "velmoria.GenericPassword";

  // True when the session bus has the service "org.freedesktop.secrets" or can start it.
  static bool isAvailable();
  // A store bound to the session's Secret Service; nullptr when there is none or it refuses a session.
  static std::shared_ptr<SecretServiceKeychainStore> connect();

  ~SecretServiceKeychainStore() override;

  base::Data read(const KeychainItemKey& key) override;
  void write(const KeychainItemKey& key, const base::Data& value) override;
  void remove(const KeychainItemKey& key) override;

  struct Impl;

 private:
  explicit SecretServiceKeychainStore(std::unique_ptr<Impl> impl);

  std::unique_ptr<Impl> impl_;
};

}  // namespace velmoria::platform
