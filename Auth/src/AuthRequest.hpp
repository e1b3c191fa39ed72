#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "auth/AuthClientConfiguration.hpp"
#include "base/URL.hpp"
#include "base/URLComponents.hpp"

namespace zirudeze::auth::detail {

// `url` with one more path segment that holds `segment` whole: "/", "?", "#", "%" and everything else a
// segment may not carry are percent-encoded, and so are the dots of "." or "..", so a caller's text can
// never reach another path.
base::URL appendingPathSegment(const base::URL& url, std::string_view segment);

// The "redirect_to" item: the caller's address, else the configured one; none when both are absent.
std::vector<base::URLQueryItem> redirectQuery(const std::optional<base::URL>& redirectTo,
                                              const AuthClientConfiguration& configuration);

}  // namespace zirudeze::auth::detail
