#pragma once

#include <string_view>

#include "platform/UserDefaults.hpp"

namespace velmoria::detail {

// A stored list that could not be read or written goes to the system log; the screens go on with what
// they have.
void logDefaultsFailure(std::string_view what, const platform::DefaultsError& error);

}  // namespace velmoria::detail
