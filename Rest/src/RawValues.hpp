#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "base/Coding.hpp"

namespace zirudeze::rest::detail {

// The case whose raw text is exactly `text`.
template <class E, std::size_t N>
std::optional<E> caseWithRawValue(std::string_view text, const std::pair<E, std::string_view> (&table)[N]) noexcept {
  for (const auto& [candidate, raw] : table)
    if (raw == text) return candidate;
  return std::nullopt;
}

}  // namespace zirudeze::rest::detail
