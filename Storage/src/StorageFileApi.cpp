#include "storage/StorageFileApi.hpp"

namespace zirudeze::storage {

StorageFileApi::StorageFileApi(Key, std::string bucketId, StorageClientConfiguration configuration)
    : StorageApi(std::move(configuration)), bucketId(std::move(bucketId)) {}

velmoria::base::URL StorageFileApi::objectURL(const std::string& pathBelowService) const {
  return configuration.url.appendingPathComponent(pathBelowService);
}

}  // namespace zirudeze::storage
