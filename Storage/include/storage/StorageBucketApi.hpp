#pragma once

#include <string>
#include <vector>

#include "storage/BucketOptions.hpp"
#include "storage/StorageApi.hpp"
#include "storage/StorageRecords.hpp"

namespace zirudeze::storage {

// The bucket operations of the storage service.
class StorageBucketApi : public StorageApi {
 public:
  using StorageApi::StorageApi;

  std::vector<Bucket> listBuckets() const;
  Bucket getBucket(const std::string& id) const;
  void createBucket(const std::string& id, const BucketOptions& options = {}) const;
  void updateBucket(const std::string& id, const BucketOptions& options) const;
  void emptyBucket(const std::string& id) const;
  void deleteBucket(const std::string& id) const;
};

}  // namespace zirudeze::storage
