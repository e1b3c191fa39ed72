#pragma once

#include <functional>
#include <set>
#include <unordered_set>

#include "concurrency/Result.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::helpers {

// Repeats requests of idempotent methods after transient failures (listed transport errors and
// statuses), waiting a whole number of seconds that grows exponentially between attempts.
class RetryRequestInterceptor final : public HTTPClientInterceptor {
 public:
  using Method = HTTPRequest::Method;
  // Sleeps that many seconds; throws when the calling task is cancelled meanwhile.
  using Sleep = std::function<void(double seconds)>;

  static constexpr int defaultRetryLimit = 2;
  static constexpr unsigned defaultExponentialBackoffBase = 2;
  static constexpr double defaultExponentialBackoffScale = 0.5;
  // DELETE, GET, HEAD, OPTIONS, PUT, TRACE.
  static const std::unordered_set<Method>& defaultRetryableHTTPMethods();
  // 408, 500, 502, 503, 504.
  static const std::set<int>& defaultRetryableHTTPStatusCodes();
  // The 18 transient transport failures.
  static const std::set<URLError::Code>& defaultRetryableErrorCodes();
  // Sleeps on the process-wide sleep clock.
  static Sleep defaultSleep();

  // A base below 2 stops the program.
  explicit RetryRequestInterceptor(int retryLimit = defaultRetryLimit,
                                   unsigned exponentialBackoffBase = defaultExponentialBackoffBase,
                                   double exponentialBackoffScale = defaultExponentialBackoffScale,
                                   std::unordered_set<Method> retryableHTTPMethods = defaultRetryableHTTPMethods(),
                                   std::set<int> retryableHTTPStatusCodes = defaultRetryableHTTPStatusCodes(),
                                   std::set<URLError::Code> retryableErrorCodes = defaultRetryableErrorCodes(),
                                   Sleep sleep = defaultSleep());

  HTTPResponse intercept(const HTTPRequest& request, const HTTPNext& next) override;

  bool shouldRetry(const HTTPRequest& request, const Result<HTTPResponse>& result) const;
  // Attempt number `count` and, while allowed, the ones after it.
  HTTPResponse retry(const HTTPRequest& request, int count, const HTTPNext& next) const;

  // Whole seconds to wait after attempt `count`: floor(base^count * scale).
  double backoffSeconds(int count) const;

  const int retryLimit;
  const unsigned exponentialBackoffBase;
  const double exponentialBackoffScale;
  const std::unordered_set<Method> retryableHTTPMethods;
  const std::set<int> retryableHTTPStatusCodes;
  const std::set<URLError::Code> retryableErrorCodes;

 private:
  Sleep sleep_;
};

}  // namespace zirudeze::helpers
