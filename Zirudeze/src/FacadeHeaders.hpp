#pragma once

#include <map>
#include <string>

#include "base/URL.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::detail {

// The default headers, then "Authorization" "Bearer <key>" and "Apikey" "<key>", then the caller's global
// headers, each set replacing the same names (any case) of the ones before.
http::HTTPFields globalHeaders(const std::map<std::string, std::string>& defaults, const std::string& key,
                               const std::map<std::string, std::string>& callerHeaders);

// "zd-" + the first non-empty dot-separated label of the URL's host + "-auth-token". Throws
// ZirudezeClientError::invalidProjectURL when the URL has no host or the host no such label.
std::string defaultStorageKey(const velmoria::base::URL& projectURL);

}  // namespace zirudeze::detail
