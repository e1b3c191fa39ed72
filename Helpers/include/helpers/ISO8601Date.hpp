#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/Date.hpp"

namespace zirudeze::helpers {

// The wire text of an instant: "2024-03-05T17:04:09.250", UTC, milliseconds (truncated), no zone.
std::string formatISO8601Date(velmoria::base::Date date);

// "YYYY-MM-DDTHH:MM:SS", optionally followed by "." and 1 to 9 fraction digits, optionally followed by
// a zone "Z", "+hh:mm" or "+hhmm" (or "-"), which is applied. Without a zone the text is UTC. Nothing for
// any other text or an instant outside the representable range.
std::optional<velmoria::base::Date> parseISO8601Date(std::string_view text);

}  // namespace zirudeze::helpers
