#pragma once

#include <string>

namespace zirudeze::helpers {

// The short text a user is shown for a status code: the standard reason phrase in lower case ("not
// found"), or, for a code without one, the word for its class ("informational", "success", "redirected",
// "client error", "server error"; "unknown" outside 100...599).
std::string localizedStatusText(int statusCode);

}  // namespace zirudeze::helpers
