#include "storage/ZirudezeStorageClient.hpp"

namespace zirudeze::storage {

std::shared_ptr<StorageFileApi> ZirudezeStorageClient::from(const std::string& id) const {
  return std::make_shared<StorageFileApi>(StorageFileApi::Key{}, id, configuration);
}

}  // namespace zirudeze::storage
