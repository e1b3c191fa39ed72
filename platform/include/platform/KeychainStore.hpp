#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/Data.hpp"

namespace velmoria::platform {

class SystemLog;

// Which generic-password item. All three attributes name it: an absent service or access group is not
// stored with the item, and an item stored without one is a different item from one stored with it.
struct KeychainItemKey {
  std::optional<std::string> service;
  std::optional<std::string> accessGroup;
  std::string account;

  friend bool operator==(const KeychainItemKey&, const KeychainItemKey&) = default;
  friend auto operator<=>(const KeychainItemKey&, const KeychainItemKey&) = default;
};

// Why a keychain operation failed.
class KeychainStoreError : public std::runtime_error {
 public:
  enum class Reason {
    itemNotFound,
    // The user dismissed the unlock prompt.
    userCanceled,
    // The item or its collection is locked and may not be unlocked now.
    interactionNotAllowed,
    // Anything else; the message says what.
    unknown,
  };

  KeychainStoreError(Reason reason, std::string message);
  static KeychainStoreError itemNotFound();

  Reason reason() const noexcept { return reason_; }
  const std::string& message() const noexcept { return message_; }

 private:
  Reason reason_;
  std::string message_;
};

// Generic-password items of the user's keychain. Every operation may be called from any thread; a
// missing item is a failure (itemNotFound), never an empty answer.
class KeychainStore {
 public:
  virtual ~KeychainStore() = default;

  virtual base::Data read(const KeychainItemKey& key) = 0;
  // The same, with nothing for a missing item instead of the failure (which costs more to raise and
  // catch than many a read: storages that can tell a missing item cheaply override it).
  virtual std::optional<base::Data> readIfPresent(const KeychainItemKey& key) {
    try {
      return read(key);
    } catch (const KeychainStoreError& failure) {
      if (failure.reason() == KeychainStoreError::Reason::itemNotFound) return std::nullopt;
      throw;
    }
  }
  // Creates the item, or replaces the value of the one there.
  virtual void write(const KeychainItemKey& key, const base::Data& value) = 0;
  virtual void remove(const KeychainItemKey& key) = 0;
};

// $XDG_DATA_HOME/velmoria/keychain, where the file keychain keeps its items.
std::filesystem::path defaultKeychainFolder();

// The Secret Service when the session bus has one or can start one, else files in `fileFolder` (with
// one warning in `log`). Once chosen, the Secret Service's failures are reported, never answered from
// files: a session split over two stores would be lost.
std::shared_ptr<KeychainStore> chooseKeychainStore(SystemLog& log,
                                                   const std::filesystem::path& fileFolder = defaultKeychainFolder());

// The process's keychain, chosen on first use with the system log, for the life of the process.
std::shared_ptr<KeychainStore> defaultKeychainStore();

}  // namespace velmoria::platform
