#pragma once

#include <optional>
#include <string_view>

#include "helpers/AnyJSON.hpp"

namespace zirudeze::auth::detail {

// A JSON number, integer or not; nothing for any other value.
std::optional<double> number(const helpers::AnyJSON& value);
// A member of `object` that is a JSON number.
std::optional<double> number(const helpers::JSONObject& object, const std::string& name);
// Text that is one finite decimal number as a whole ("3600", "3600.5", "+1e3"); nothing otherwise.
std::optional<double> numberInText(std::string_view text);

}  // namespace zirudeze::auth::detail
