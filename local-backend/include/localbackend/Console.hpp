#pragma once

#include <string>
#include <string_view>

#include "localbackend/LocalBackend.hpp"

namespace velmoria::localbackend {

// Runs one line typed into the backend's terminal and returns what to print for it (empty for a blank
// line). Never throws for what was typed.
std::string answerLine(LocalBackend& backend, std::string_view line);

// The lines printed when the backend is up.
std::string greeting(const LocalBackend& backend);

}  // namespace velmoria::localbackend
