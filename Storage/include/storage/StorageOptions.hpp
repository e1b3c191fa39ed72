#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "base/Coding.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::storage {

struct SortBy {
  std::optional<std::string> column;
  std::optional<std::string> order;

  void encode(velmoria::base::Encoder& encoder) const;
  friend bool operator==(const SortBy&, const SortBy&) = default;
};

// Listing parameters. `prefix` is always written and always replaced by the folder being listed.
struct SearchOptions {
  explicit SearchOptions(std::optional<std::int64_t> limit = std::nullopt,
                         std::optional<std::int64_t> offset = std::nullopt, std::optional<SortBy> sortBy = std::nullopt,
                         std::optional<std::string> search = std::nullopt);

  std::string prefix;
  std::optional<std::int64_t> limit;
  std::optional<std::int64_t> offset;
  std::optional<SortBy> sortBy;
  std::optional<std::string> search;

  void encode(velmoria::base::Encoder& encoder) const;
  friend bool operator==(const SearchOptions&, const SearchOptions&) = default;
};

// Upload settings, turned into headers and form fields by the file API.
struct FileOptions {
  // Cache lifetime in seconds, sent as "max-age=" + this.
  std::string cacheControl = "3600";
  std::optional<std::string> contentType;
  // Overwrite an existing object ("x-upsert").
  bool upsert = false;
  std::optional<std::string> duplex;
  std::optional<helpers::JSONObject> metadata;
  std::optional<std::map<std::string, std::string>> headers;
};

// What uploads use without options: cache "3600", "text/plain;charset=UTF-8", no upsert.
const FileOptions& defaultFileOptions();
// What listing uses without options: 100 entries from the first, by "name" "asc", no search.
const SearchOptions& defaultSearchOptions();

struct CreateSignedUploadURLOptions {
  bool upsert = false;
};

struct DestinationOptions {
  std::optional<std::string> destinationBucket;
};

}  // namespace zirudeze::storage
