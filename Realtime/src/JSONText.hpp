#pragma once

#include <string>
#include <string_view>

#include "helpers/AnyJSON.hpp"

namespace zirudeze::realtime::detail {

// Compact JSON text written straight from the values, as the coders would write it (object members in
// key order, doubles in their shortest form with ".0" for whole numbers). Throws velmoria::base::EncodingError
// for a non-finite double or a string that is not UTF-8.
void appendJSONString(std::string& out, std::string_view text);
void appendJSON(std::string& out, const helpers::AnyJSON& value);
void appendJSON(std::string& out, const helpers::JSONObject& object);

}  // namespace zirudeze::realtime::detail
