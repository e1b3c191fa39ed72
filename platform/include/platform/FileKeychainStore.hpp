#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "base/ThreadSafety.hpp"
#include "platform/KeychainStore.hpp"

namespace velmoria::platform {

// The keychain where no Secret Service runs: one file of mode 0600 per item in a folder of mode 0700,
// each written atomically, holding the value's bytes and nothing else. Reading trusts nothing found
// there: the folder must be ours and no link, an item a plain file of ours within the size cap.
class FileKeychainStore final : public KeychainStore {
 public:
  // The largest value an item holds; larger ones are neither written nor read.
  static constexpr std::size_t kMaxItemBytes = std::size_t{1} << 20;

  explicit FileKeychainStore(std::filesystem::path folder);
  ~FileKeychainStore() override;

  base::Data read(const KeychainItemKey& key) override;
  std::optional<base::Data> readIfPresent(const KeychainItemKey& key) override;
  void write(const KeychainItemKey& key, const base::Data& value) override;
  void remove(const KeychainItemKey& key) override;

  const std::filesystem::path& folder() const noexcept { return folder_; }

  // The item's file name: service, access group and account, each with every byte outside
  // [A-Za-z0-9_-] percent-encoded, joined by ",", an absent attribute written as "~". So no name holds
  // a "/" or a ".", and none is a path segment of its own.
  static std::string fileName(const KeychainItemKey& key);

 private:
  // The open folder that the path names now, checked: kept from an earlier use while it is that one.
  // Null when there is no folder.
  std::shared_ptr<const void> folderToRead();

  std::filesystem::path folder_;
  base::Mutex folderMutex_;
  std::shared_ptr<const void> folder_fd_ VM_GUARDED_BY(folderMutex_);
};

}  // namespace velmoria::platform
