#include "functions/FunctionsClient.hpp"

#include <utility>
#include <vector>

#include "InvocationChecks.hpp"
#include "StreamedInvocation.hpp"
#include "concurrency/LockIsolated.hpp"
#include "helpers/ClientVersion.hpp"
#include "helpers/CurlTransport.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/LoggerInterceptor.hpp"

namespace zirudeze::functions {
namespace {

using helpers::HTTPFieldNames;

http::HTTPFields initialHeaders(const std::map<std::string, std::string>& headers) {
  auto fields = helpers::fieldsFromDictionary(headers);
  if (!fields.contains(HTTPFieldNames::xClientInfo())) {
    fields.set(HTTPFieldNames::xClientInfo(), "functions-cpp/" + helpers::libraryVersion());
  }
  return fields;
}

std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>> interceptorsFor(
    std::shared_ptr<const helpers::ZirudezeLogger> logger) {
  if (!logger) return {};
  return {std::make_shared<helpers::LoggerInterceptor>(std::move(logger))};
}

const http::HTTPRequestMethod& requestMethod(const std::optional<FunctionInvokeOptions::Method>& method) {
  using Method = FunctionInvokeOptions::Method;
  switch (method.value_or(Method::post)) {
    case Method::get:
      return http::HTTPRequestMethod::get();
    case Method::put:
      return http::HTTPRequestMethod::put();
    case Method::patch:
      return http::HTTPRequestMethod::patch();
    case Method::delete_:
      return http::HTTPRequestMethod::delete_();
    case Method::post:
      break;
  }
  return http::HTTPRequestMethod::post();
}

}  // namespace

struct FunctionsClient::State {
  State(velmoria::base::URL url, RegionText region, std::shared_ptr<helpers::HTTPClientType> http,
        const std::map<std::string, std::string>& headers)
      : url(std::move(url)), region(std::move(region)), http(std::move(http)), headers(initialHeaders(headers)) {}

  // Shared by every invocation, streamed or not.
  helpers::HTTPRequest request(std::string_view functionName, const FunctionInvokeOptions& options) {
    auto fields = helpers::merging(headers.value(), options.headers);
    auto query = options.query;
    // Set after the merge, so the region replaces any "x-region" the options carry.
    if (const auto& chosen = options.region ? options.region : region) {
      fields.set(HTTPFieldNames::xRegion(), *chosen);
      query.push_back({"forceFunctionRegion", *chosen});
    }
    return helpers::HTTPRequest(url.appendingPathComponent(functionName), requestMethod(options.method),
                                std::move(query), std::move(fields), options.body, requestTimeout);
  }

  const velmoria::base::URL url;
  const std::optional<std::string> region;
  const std::shared_ptr<helpers::HTTPClientType> http;
  // Streamed invocations travel apart from the fetch: the process's own transport.
  const std::shared_ptr<helpers::HTTPTransport> streamTransport = helpers::CurlTransport::shared();
  concurrency::LockIsolated<http::HTTPFields> headers;
};

FunctionsClient::FunctionsClient(velmoria::base::URL url, const std::map<std::string, std::string>& headers,
                                 RegionText region, std::shared_ptr<const helpers::ZirudezeLogger> logger,
                                 helpers::FetchOperation fetch)
    : state_(std::make_unique<State>(
          std::move(url), std::move(region),
          std::make_shared<helpers::HTTPClient>(std::move(fetch), interceptorsFor(std::move(logger))), headers)) {}

FunctionsClient::~FunctionsClient() = default;

const velmoria::base::URL& FunctionsClient::url() const noexcept { return state_->url; }

const std::optional<std::string>& FunctionsClient::region() const noexcept { return state_->region; }

http::HTTPFields FunctionsClient::headers() const { return state_->headers.value(); }

void FunctionsClient::setAuth(const std::optional<std::string>& token) {
  state_->headers.withValue([&](http::HTTPFields& fields) {
    if (token) {
      fields.set(http::HTTPField::Name::authorization(), "Bearer " + *token);
    } else {
      fields.set(http::HTTPField::Name::authorization(), std::nullopt);
    }
  });
}

helpers::HTTPResponse FunctionsClient::rawInvoke(std::string_view functionName,
                                                 const FunctionInvokeOptions& options) const {
  auto response = state_->http->send(state_->request(functionName, options));
  if (auto refusal =
          detail::refusalOf(response.statusCode, response.headers[HTTPFieldNames::xRelayError()], response.data)) {
    throw std::move(*refusal);
  }
  return response;
}

void FunctionsClient::invoke(std::string_view functionName, const FunctionInvokeOptions& options) const {
  rawInvoke(functionName, options);
}

concurrency::AsyncThrowingStream<velmoria::base::Data> FunctionsClient::invokeWithStreamedResponse(
    std::string_view functionName, const FunctionInvokeOptions& options) const {
  return detail::startStreamedInvocation(state_->streamTransport, state_->request(functionName, options).urlRequest());
}

}  // namespace zirudeze::functions
