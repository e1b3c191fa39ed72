#pragma once

#include <cstddef>
#include <functional>
#include <optional>

namespace zirudeze::realtime::detail {

inline void hashCombine(std::size_t& seed, std::size_t value) noexcept {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// An optional feeds a presence marker (0 or 1), then its value when there is one.
template <class T>
void hashOptional(std::size_t& seed, const std::optional<T>& value) {
  hashCombine(seed, value ? 1 : 0);
  if (value) hashCombine(seed, std::hash<T>{}(*value));
}

}  // namespace zirudeze::realtime::detail
