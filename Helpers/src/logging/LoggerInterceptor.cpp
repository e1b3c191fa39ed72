#include "helpers/LoggerInterceptor.hpp"

#include "LogBodyText.hpp"
#include "base/PercentEncoding.hpp"
#include "base/UUID.hpp"
#include "helpers/LogRedaction.hpp"

namespace zirudeze::helpers {
namespace {

// The interceptor's own call sites, as its records have always named them.
LogSite site(std::uint64_t line) { return LogSite{"Helpers/LoggerInterceptor.cpp", "intercept(_:next:)", line}; }

std::string describe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

LoggerInterceptor::LoggerInterceptor(std::shared_ptr<const ZirudezeLogger> logger) : logger(std::move(logger)) {}

HTTPResponse LoggerInterceptor::intercept(const HTTPRequest& request, const HTTPNext& next) {
  const std::string requestID = velmoria::base::UUID::random().uuidString();
  return ZirudezeLoggerTaskLocal::withValue(JSONObject{{"requestID", AnyJSON(requestID)}}, [&]() -> HTTPResponse {
    const URLRequest transfer = request.urlRequest();
    // Decoded for reading; what decoding reveals is masked again, and no decoded byte breaks the line.
    const std::string url = escapingLineBreaks(
        redactingSecrets(velmoria::base::removingPercentEncoding(redactingSecretsInURL(transfer.url)).value_or("")));
    logger->emit(ZirudezeLogLevel::verbose,
                 "Request: " + transfer.httpMethod + " " + url + "\nBody: " + detail::logBodyText(request.body),
                 site(25));
    std::optional<HTTPResponse> response;
    try {
      response.emplace(next(request));
    } catch (...) {
      logger->emit(ZirudezeLogLevel::error, "Response: Failure " + describe(std::current_exception()), site(44));
      throw;
    }
    logger->emit(ZirudezeLogLevel::verbose,
                 "Response: Status code: " + std::to_string(response->statusCode) +
                     " Content-Length: " + std::to_string(response->underlyingResponse.expectedContentLength) +
                     "\nBody: " + detail::logBodyText(response->data),
                 site(34));
    return std::move(*response);
  });
}

}  // namespace zirudeze::helpers
