#pragma once

#include <vector>

#include "base/Coding.hpp"
#include "base/URLComponents.hpp"

namespace zirudeze::rest::detail {

// One query item per member of an encoded parameter object, in key order. Texts stay as they are,
// numbers are written in their shortest decimal form (whole doubles without a fraction), Booleans
// "true"/"false", null "null", objects as compact JSON, arrays as "{<elements>}" with nested arrays in
// braces and other elements quoted where the array syntax needs it.
std::vector<velmoria::base::URLQueryItem> queryItemsFromParameters(const velmoria::base::Json& parameters);

}  // namespace zirudeze::rest::detail
