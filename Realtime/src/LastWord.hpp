#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace zirudeze::realtime {

// The last blank-separated piece of `text` (the token of "Bearer <token>"); none when all is blank.
inline std::optional<std::string> lastWord(std::string_view text) {
  std::optional<std::string> last;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    if (end > start) last = std::string(text.substr(start, end - start));
    start = end + 1;
  }
  return last;
}

}  // namespace zirudeze::realtime
