#pragma once

#include <memory>
#include <string>

#include "storage/StorageBucketApi.hpp"
#include "storage/StorageFileApi.hpp"

namespace zirudeze::storage {

// The storage service's client: the bucket operations, and a file API per bucket.
class ZirudezeStorageClient : public StorageBucketApi {
 public:
  using StorageBucketApi::StorageBucketApi;

  // A new file API for the bucket on every call, with a copy of this client's configuration.
  std::shared_ptr<StorageFileApi> from(const std::string& id) const;
};

}  // namespace zirudeze::storage
