#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/Data.hpp"

namespace velmoria::base {

// Standard alphabet with "=" padding.
std::string base64Encode(const Data& data);
// Strict: standard alphabet, padding required to a multiple of four; nothing on bad input.
std::optional<Data> base64Decode(std::string_view text);

}  // namespace velmoria::base
