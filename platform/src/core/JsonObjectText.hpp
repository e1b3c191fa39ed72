#pragma once

#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/coding/JSONCoders.hpp"

namespace velmoria::platform::detail {

// The JSON object `text` holds; nothing when the text is not one, or holds a NUL byte anywhere.
inline std::optional<nlohmann::json> parseJsonObject(std::string_view text) {
  if (base::holdsNulByte(text)) return std::nullopt;
  auto parsed = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!parsed.is_object()) return std::nullopt;
  return parsed;
}

}  // namespace velmoria::platform::detail
