#include "helpers/HTTPClient.hpp"

#include "concurrency/CurrentTask.hpp"
#include "helpers/CurlTransport.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::helpers {

HTTPClient::HTTPClient(FetchOperation fetch, std::vector<std::shared_ptr<HTTPClientInterceptor>> interceptors)
    : fetch_(std::move(fetch)), interceptors_(std::move(interceptors)) {}

namespace {

HTTPResponse fetched(const FetchOperation& fetch, const URLRequest& transfer) {
  auto [data, response] = fetch(transfer);
  const auto* http = dynamic_cast<const HTTPURLResponse*>(response.get());
  if (!http) throw URLError(URLError::Code::badServerResponse, transfer.url);
  return HTTPResponse(std::move(data), *http);
}

}  // namespace

HTTPResponse HTTPClient::send(HTTPRequest&& request) {
  if (!interceptors_.empty()) return send(static_cast<const HTTPRequest&>(request));
  return fetched(fetch_, std::move(request).urlRequest());
}

HTTPResponse HTTPClient::send(const HTTPRequest& request) {
  if (interceptors_.empty()) return fetched(fetch_, request.urlRequest());
  HTTPNext next = [fetch = fetch_](const HTTPRequest& request) { return fetched(fetch, request.urlRequest()); };
  for (auto it = interceptors_.rbegin(); it != interceptors_.rend(); ++it) {
    next = [interceptor = *it, inner = std::move(next)](const HTTPRequest& request) {
      return interceptor->intercept(request, inner);
    };
  }
  return next(request);
}

FetchOperation HTTPClient::fetchOver(std::shared_ptr<HTTPTransport> transport) {
  return [transport = std::move(transport)](const URLRequest& request) {
    return transport->data(request, currentStopToken());
  };
}

FetchOperation HTTPClient::defaultFetch() { return fetchOver(CurlTransport::shared()); }

}  // namespace zirudeze::helpers
