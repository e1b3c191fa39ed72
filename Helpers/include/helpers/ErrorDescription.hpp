#pragma once

#include <exception>
#include <string>

namespace zirudeze::helpers {

// The text a user is shown for an error: the coding errors' and transfer errors' own user-facing texts,
// what() for every other standard exception.
std::string localizedDescription(const std::exception& error);
// The same for a caught error of any kind; "unknown error" for one that is no standard exception.
std::string localizedDescription(const std::exception_ptr& error);

}  // namespace zirudeze::helpers
