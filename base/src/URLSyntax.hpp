#pragma once

#include <optional>
#include <string_view>

#include "base/URL.hpp"

// RFC 3986 syntax checks shared by the URL parser and URL components.
namespace velmoria::base::detail {

struct URLParts {
  std::optional<URLRange> scheme, user, password, host, port, query, fragment;
  URLRange path;  // always present, possibly empty
};

// Parses a URI reference (absolute URI or relative reference). Nothing when
// the text breaks the grammar or names a port above 65535.
std::optional<URLParts> parseURLReference(std::string_view text);

bool isValidScheme(std::string_view text) noexcept;
bool isValidUserInfoPart(std::string_view text) noexcept;  // user or password, percent-encoded
bool isValidHost(std::string_view text) noexcept;          // reg-name or IP literal, percent-encoded
bool isValidPath(std::string_view text) noexcept;          // percent-encoded, "/" allowed
bool isValidQueryOrFragment(std::string_view text) noexcept;

}  // namespace velmoria::base::detail
