#include "storage/StorageOptions.hpp"

namespace zirudeze::storage {

void SortBy::encode(velmoria::base::Encoder& encoder) const {
  auto object = encoder.container();
  object.encodeIfPresent("column", column);
  object.encodeIfPresent("order", order);
}

SearchOptions::SearchOptions(std::optional<std::int64_t> limit, std::optional<std::int64_t> offset,
                             std::optional<SortBy> sortBy, std::optional<std::string> search)
    : limit(limit), offset(offset), sortBy(std::move(sortBy)), search(std::move(search)) {}

void SearchOptions::encode(velmoria::base::Encoder& encoder) const {
  auto object = encoder.container();
  object.encode("prefix", prefix);
  object.encodeIfPresent("limit", limit);
  object.encodeIfPresent("offset", offset);
  object.encodeIfPresent("sortBy", sortBy);
  object.encodeIfPresent("search", search);
}

const FileOptions& defaultFileOptions() {
  static const FileOptions options = [] {
    FileOptions defaults;
    defaults.contentType = "text/plain;charset=UTF-8";
    return defaults;
  }();
  return options;
}

const SearchOptions& defaultSearchOptions() {
  static const SearchOptions options(100, 0, SortBy{"name", "asc"}, std::nullopt);
  return options;
}

}  // namespace zirudeze::storage
