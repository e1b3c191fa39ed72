#pragma once

#include "base/Coding.hpp"

#include <string>
#include <utility>

namespace zirudeze::http::detail {

// A data-corrupted error raised on an array's container: its path plus the container's current index.
inline base::DecodingError corruptedIn(const base::Decoder& arrayDecoder,
                                       const base::UnkeyedDecodingContainer& container, std::string description) {
  base::CodingPath path = arrayDecoder.codingPath();
  path.push_back(base::CodingKey::index(static_cast<int>(container.currentIndex())));
  return base::DecodingError::dataCorrupted({std::move(path), std::move(description)});
}

}  // namespace zirudeze::http::detail
