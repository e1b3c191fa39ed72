#include "auth/AuthHTTPClient.hpp"

#include <utility>
#include <vector>

#include "helpers/LoggerInterceptor.hpp"

namespace zirudeze::auth {

std::shared_ptr<helpers::HTTPClientType> makeAuthHTTPClient(const AuthClientConfiguration& configuration,
                                                            helpers::RetryRequestInterceptor::Sleep sleep) {
  using Retry = helpers::RetryRequestInterceptor;
  std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>> interceptors;
  if (configuration.logger) interceptors.push_back(std::make_shared<helpers::LoggerInterceptor>(configuration.logger));
  auto methods = Retry::defaultRetryableHTTPMethods();
  methods.insert(Retry::Method::post());
  interceptors.push_back(std::make_shared<Retry>(Retry::defaultRetryLimit, Retry::defaultExponentialBackoffBase,
                                                 Retry::defaultExponentialBackoffScale, std::move(methods),
                                                 Retry::defaultRetryableHTTPStatusCodes(),
                                                 Retry::defaultRetryableErrorCodes(), std::move(sleep)));
  return std::make_shared<helpers::HTTPClient>(configuration.fetch, std::move(interceptors));
}

}  // namespace zirudeze::auth
