#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zirudeze::storage {

// A caller's settings for creating or updating a bucket.
struct BucketOptions {
  bool public_ = false;
  std::optional<std::string> fileSizeLimit;
  std::optional<std::vector<std::string>> allowedMimeTypes;
};

}  // namespace zirudeze::storage
