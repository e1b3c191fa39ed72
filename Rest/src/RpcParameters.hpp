#pragma once

#include <base/Coding.hpp>
#include <base/URLComponents.hpp>
#include <vector>

namespace zirudeze::rest::detail {

// One query item per member of an encoded parameter object, in key order. Texts stay as they are,
// numbers are written in their shortest decimal form, Booleans "true"/"false", null "null", arrays as
// "{<elements>}" and nested values as compact JSON.
std::vector<base::URLQueryItem> queryItemsFromParameters(const base::Json& parameters);

}  // namespace zirudeze::rest::detail
