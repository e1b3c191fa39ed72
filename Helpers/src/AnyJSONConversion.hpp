#pragma once

#include <cstddef>
#include <functional>

#include "base/coding/CodingErrors.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::helpers::detail {

inline constexpr const char* kInvalidValueDescription = "Invalid JSON value.";
// The coding core's text for documents it refuses, excessive nesting included.
inline constexpr const char* kTooDeepDescription = "The given data was not valid JSON.";

// Makes the error for a value that cannot be read, at the position being converted.
using FailureAt = std::function<velmoria::base::DecodingError(const char* description)>;

AnyJSON convertJSON(const nlohmann::ordered_json& json, std::size_t depth, const FailureAt& failure);

}  // namespace zirudeze::helpers::detail
