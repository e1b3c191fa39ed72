#include "helpers/RetryRequestInterceptor.hpp"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "base/Check.hpp"
#include "concurrency/CurrentTask.hpp"
#include "helpers/SleepClock.hpp"

namespace zirudeze::helpers {

const std::unordered_set<RetryRequestInterceptor::Method>& RetryRequestInterceptor::defaultRetryableHTTPMethods() {
  static const std::unordered_set<Method> methods{Method::delete_(), Method::get(), Method::head(),
                                                  Method::options(), Method::put(), Method::trace()};
  return methods;
}

const std::set<int>& RetryRequestInterceptor::defaultRetryableHTTPStatusCodes() {
  static const std::set<int> codes{408, 500, 502, 503, 504};
  return codes;
}

const std::set<URLError::Code>& RetryRequestInterceptor::defaultRetryableErrorCodes() {
  using Code = URLError::Code;
  static const std::set<Code> codes{
      Code::backgroundSessionInUseByAnotherProcess,
      Code::backgroundSessionWasDisconnected,
      Code::badServerResponse,
      Code::callIsActive,
      Code::cannotConnectToHost,
      Code::cannotFindHost,
      Code::cannotLoadFromNetwork,
      Code::dataNotAllowed,
      Code::dnsLookupFailed,
      Code::downloadDecodingFailedMidStream,
      Code::downloadDecodingFailedToComplete,
      Code::internationalRoamingOff,
      Code::networkConnectionLost,
      Code::notConnectedToInternet,
      Code::secureConnectionFailed,
      Code::serverCertificateHasBadDate,
      Code::serverCertificateNotYetValid,
      Code::timedOut,
  };
  return codes;
}

RetryRequestInterceptor::Sleep RetryRequestInterceptor::defaultSleep() {
  return [](double seconds) { currentSleepClock()->sleep(seconds); };
}

RetryRequestInterceptor::RetryRequestInterceptor(int retryLimit, unsigned exponentialBackoffBase,
                                                 double exponentialBackoffScale,
                                                 std::unordered_set<Method> retryableHTTPMethods,
                                                 std::set<int> retryableHTTPStatusCodes,
                                                 std::set<URLError::Code> retryableErrorCodes, Sleep sleep)
    : retryLimit(retryLimit),
      exponentialBackoffBase(exponentialBackoffBase),
      exponentialBackoffScale(exponentialBackoffScale),
      retryableHTTPMethods(std::move(retryableHTTPMethods)),
      retryableHTTPStatusCodes(std::move(retryableHTTPStatusCodes)),
      retryableErrorCodes(std::move(retryableErrorCodes)),
      sleep_(sleep ? std::move(sleep) : defaultSleep()) {
  VM_CHECK(exponentialBackoffBase >= 2, "exponentialBackoffBase must be at least 2");
}

HTTPResponse RetryRequestInterceptor::intercept(const HTTPRequest& request, const HTTPNext& next) {
  return retry(request, 1, next);
}

bool RetryRequestInterceptor::shouldRetry(const HTTPRequest& request, const Result<HTTPResponse>& result) const {
  if (!retryableHTTPMethods.contains(request.method)) return false;
  if (!result.isSuccess()) {
    try {
      std::rethrow_exception(result.error());
    } catch (const URLError& error) {
      return retryableErrorCodes.contains(error.code());
    } catch (...) {
      return false;
    }
  }
  return retryableHTTPStatusCodes.contains(result.get().statusCode);
}

double RetryRequestInterceptor::backoffSeconds(int count) const {
  const double delay =
      std::pow(static_cast<double>(exponentialBackoffBase), static_cast<double>(count)) * exponentialBackoffScale;
  // Beyond these the whole-second count or its nanoseconds do not fit in 64 unsigned bits.
  VM_CHECK(std::isfinite(delay) && delay > -1.0 && delay < 18446744073.0, "retry back-off delay out of range");
  return static_cast<double>(static_cast<std::uint64_t>(delay < 0 ? 0 : delay));
}

HTTPResponse RetryRequestInterceptor::retry(const HTTPRequest& request, int count, const HTTPNext& next) const {
  Result<HTTPResponse> outcome = resultOf([&] { return next(request); });
  if (count < retryLimit && shouldRetry(request, outcome)) {
    const double seconds = backoffSeconds(count);
    try {
      sleep_(seconds);
    } catch (...) {
      // A cancelled wait ends the retries below with the outcome already in hand.
    }
    if (isCurrentTaskCancelled()) return std::move(outcome).get();
    return retry(request, count + 1, next);
  }
  return std::move(outcome).get();
}

}  // namespace zirudeze::helpers
