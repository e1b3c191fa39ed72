#pragma once

#include <curl/curl.h>

#include "helpers/URLError.hpp"

namespace zirudeze::helpers::detail {

// What besides the result code decides the platform code.
struct CurlFailureContext {
  long osErrno = 0;          // CURLINFO_OS_ERRNO
  long sslVerifyResult = 0;  // CURLINFO_SSL_VERIFYRESULT (an X.509 verification code)
};

URLError::Code urlErrorCodeFor(CURLcode code, const CurlFailureContext& context) noexcept;

}  // namespace zirudeze::helpers::detail
