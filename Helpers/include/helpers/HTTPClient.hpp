#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "helpers/HTTPRequest.hpp"
#include "helpers/HTTPResponse.hpp"
#include "helpers/HTTPTransport.hpp"

namespace zirudeze::helpers {

// What every backend client holds its HTTP client as, so other transports can stand in.
class HTTPClientType {
 public:
  virtual ~HTTPClientType() = default;
  // Blocks; honours the current task's cancellation through the transport.
  virtual HTTPResponse send(const HTTPRequest& request) = 0;
};

// The rest of the chain as an interceptor sees it; callable any number of times, from any thread.
using HTTPNext = std::function<HTTPResponse(const HTTPRequest&)>;

class HTTPClientInterceptor {
 public:
  virtual ~HTTPClientInterceptor() = default;
  virtual HTTPResponse intercept(const HTTPRequest& request, const HTTPNext& next) = 0;
};

// The transfer a client is built with: a transfer request in, body and response out. Must be callable
// from any thread.
using FetchOperation = std::function<FetchResult(const URLRequest&)>;

// Sends requests through its interceptors, first one outermost, then the fetch. Stateless beyond its
// two fixed fields, so one client serves any number of concurrent sends.
class HTTPClient final : public HTTPClientType {
 public:
  HTTPClient(FetchOperation fetch, std::vector<std::shared_ptr<HTTPClientInterceptor>> interceptors);

  HTTPResponse send(const HTTPRequest& request) override;
  // Without interceptors the request's body is handed on to the fetch instead of copied, which
  // matters for large uploads; with interceptors this is the copying send.
  HTTPResponse send(HTTPRequest&& request);

  // A fetch over `transport` that follows the calling task's cancellation.
  static FetchOperation fetchOver(std::shared_ptr<HTTPTransport> transport);
  // fetchOver the process-wide libcurl transport.
  static FetchOperation defaultFetch();

 private:
  FetchOperation fetch_;
  std::vector<std::shared_ptr<HTTPClientInterceptor>> interceptors_;
};

}  // namespace zirudeze::helpers
