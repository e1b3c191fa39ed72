#pragma once

#include <map>
#include <string>
#include <string_view>

#include "base/URL.hpp"

namespace zirudeze::auth {

// The parameters of a sign-in redirect: the fragment's "name=value" pieces as written (not decoded),
// then the query's items percent-decoded, a query item replacing a fragment one of the same name and an
// item without "=" removing the name. Never fails; text that is no URL gives an empty map.
std::map<std::string, std::string> extractParams(const velmoria::base::URL& url);
std::map<std::string, std::string> extractParams(std::string_view urlText);

}  // namespace zirudeze::auth
