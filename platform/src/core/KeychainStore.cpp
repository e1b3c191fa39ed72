#include "platform/KeychainStore.hpp"

#include <utility>

#include "base/XdgDirectories.hpp"
#include "platform/FileKeychainStore.hpp"
#include "platform/SecretServiceKeychainStore.hpp"
#include "platform/SystemLog.hpp"

namespace velmoria::platform {

KeychainStoreError::KeychainStoreError(Reason reason, std::string message)
    : std::runtime_error(message), reason_(reason), message_(std::move(message)) {}

KeychainStoreError KeychainStoreError::itemNotFound() { return {Reason::itemNotFound, "The item cannot be found."}; }

std::filesystem::path defaultKeychainFolder() { return base::xdgDataHome() / "velmoria" / "keychain"; }

std::shared_ptr<KeychainStore> chooseKeychainStore(SystemLog& log, const std::filesystem::path& fileFolder) {
  if (auto secretService = SecretServiceKeychainStore::connect()) return secretService;
  log.log(LogLevel::warning, "velmoria", "keychain",
          "No Secret Service on the session bus; keychain items are kept in files under " + fileFolder.string());
  return std::make_shared<FileKeychainStore>(fileFolder);
}

std::shared_ptr<KeychainStore> defaultKeychainStore() {
  static const std::shared_ptr<KeychainStore> store = chooseKeychainStore(systemLog());
  return store;
}

}  // namespace velmoria::platform
