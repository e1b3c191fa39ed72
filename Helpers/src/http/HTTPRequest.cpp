#include "helpers/HTTPRequest.hpp"

#include "helpers/HTTPFieldsBridging.hpp"

namespace zirudeze::helpers {
namespace {

URLRequest transferRequest(const HTTPRequest& from, std::optional<velmoria::base::Data> body) {
  URLRequest request;
  request.url = appendingQueryItemsText(from.url, from.query);
  request.cachePolicy = URLRequest::CachePolicy::useProtocolCachePolicy;
  request.timeoutInterval = from.timeoutInterval;
  request.httpMethod = from.method.rawValue();
  request.allHTTPHeaderFields = writtenFields(from.headers);
  request.httpBody = std::move(body);
  if (!request.httpBody) request.httpBodyStream = from.bodyStream;
  if ((request.httpBody || request.httpBodyStream) && !request.value("Content-Type")) {
    request.setValue("application/json", "Content-Type");
  }
  return request;
}

}  // namespace

HTTPRequest::HTTPRequest(velmoria::base::URL url, Method method, std::vector<velmoria::base::URLQueryItem> query,
                         http::HTTPFields headers, std::optional<velmoria::base::Data> body, double timeoutInterval)
    : url(std::move(url)),
      method(std::move(method)),
      query(std::move(query)),
      headers(std::move(headers)),
      body(std::move(body)),
      timeoutInterval(timeoutInterval) {}

std::optional<HTTPRequest> HTTPRequest::make(std::string_view urlString, Method method,
                                             std::vector<velmoria::base::URLQueryItem> query, http::HTTPFields headers,
                                             std::optional<velmoria::base::Data> body, double timeoutInterval) {
  auto url = velmoria::base::URL::parse(urlString);
  if (!url) return std::nullopt;
  return HTTPRequest(std::move(*url), std::move(method), std::move(query), std::move(headers), std::move(body),
                     timeoutInterval);
}

URLRequest HTTPRequest::urlRequest() const& { return transferRequest(*this, body); }

URLRequest HTTPRequest::urlRequest() && {
  std::optional<velmoria::base::Data> taken = std::move(body);
  body.reset();
  return transferRequest(*this, std::move(taken));
}

}  // namespace zirudeze::helpers
