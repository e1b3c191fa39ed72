#include "storage/StorageApi.hpp"

#include <stdexcept>

#include "base/URLComponents.hpp"
#include "helpers/ClientVersion.hpp"
#include "helpers/HTTPError.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/LoggerInterceptor.hpp"
#include "storage/StorageError.hpp"

namespace zirudeze::storage {
namespace {

StorageClientConfiguration prepared(StorageClientConfiguration configuration) {
  configuration.headers.try_emplace("X-Client-Info", "vadeviv-eduru/" + helpers::libraryVersion());
  if (configuration.useNewHostname()) {
    velmoria::base::URLComponents components(configuration.url);
    const auto& host = components.percentEncodedHost();
    if (!host || host->empty()) {
      throw std::invalid_argument("Client initialized with invalid URL: " + configuration.url.absoluteString());
    }
    if (auto moved = configuration.hostRewrite.rewrittenHost(*host)) {
      components.setPercentEncodedHost(std::move(*moved));
      auto url = components.url();
      if (!url) {
        throw std::invalid_argument("Client initialized with invalid URL: " + configuration.url.absoluteString());
      }
      configuration.url = std::move(*url);
    }
  }
  return configuration;
}

std::shared_ptr<helpers::HTTPClient> makeHTTPClient(const StorageClientConfiguration& configuration) {
  std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>> interceptors;
  if (configuration.logger())
    interceptors.push_back(std::make_shared<helpers::LoggerInterceptor>(configuration.logger()));
  return std::make_shared<helpers::HTTPClient>(configuration.session().fetch, std::move(interceptors));
}

}  // namespace

StorageApi::StorageApi(StorageClientConfiguration configuration)
    : configuration(prepared(std::move(configuration))),
      http(makeHTTPClient(this->configuration)),
      configurationFields_(helpers::fieldsFromDictionary(this->configuration.headers)) {}

helpers::HTTPResponse StorageApi::execute(helpers::HTTPRequest request) const {
  request.headers = helpers::merging(configurationFields_, request.headers);
  helpers::HTTPResponse response = http->send(std::move(request));
  if (response.statusCode >= 200 && response.statusCode <= 299) return response;
  std::optional<StorageError> error;
  try {
    error.emplace(configuration.decoder().decode<StorageError>(response.data));
  } catch (const velmoria::base::DecodingError&) {
    throw helpers::HTTPError(std::move(response.data), std::move(response.underlyingResponse));
  }
  throw std::move(*error);
}

}  // namespace zirudeze::storage
