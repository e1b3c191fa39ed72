#pragma once

#include <algorithm>
#include <string_view>
#include <vector>

namespace zirudeze::auth::detail {

// The non-empty runs of `text` between `separator`s.
inline std::vector<std::string_view> nonEmptyPieces(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    const std::size_t end = std::min(text.find(separator, begin), text.size());
    if (end > begin) pieces.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return pieces;
}

}  // namespace zirudeze::auth::detail
