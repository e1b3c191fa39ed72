#pragma once

#include <memory>

#include "auth/AuthClientConfiguration.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/RetryRequestInterceptor.hpp"

namespace zirudeze::auth {

// The auth client's HTTP client: over the configuration's fetch, the logging interceptor (only with a
// logger) outside the retry interceptor, which also repeats POST requests. `sleep` is the retry's wait
// (empty: the process's sleeping clock).
std::shared_ptr<helpers::HTTPClientType> makeAuthHTTPClient(const AuthClientConfiguration& configuration,
                                                            helpers::RetryRequestInterceptor::Sleep sleep = nullptr);

}  // namespace zirudeze::auth
