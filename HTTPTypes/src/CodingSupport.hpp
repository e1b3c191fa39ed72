#pragma once

#include <string>
#include <utility>

#include "base/Coding.hpp"

namespace zirudeze::http::detail {

// A data-corrupted error raised on an array's container: its path plus the container's current index.
inline velmoria::base::DecodingError corruptedIn(const velmoria::base::Decoder& arrayDecoder,
                                                 const velmoria::base::UnkeyedDecodingContainer& container,
                                                 std::string description) {
  velmoria::base::CodingPath path = arrayDecoder.codingPath();
  path.push_back(velmoria::base::CodingKey::index(static_cast<int>(container.currentIndex())));
  return velmoria::base::DecodingError::dataCorrupted({std::move(path), std::move(description)});
}

}  // namespace zirudeze::http::detail
