#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <utility>

#include "base/Data.hpp"
#include "helpers/URLRequest.hpp"
#include "helpers/URLResponse.hpp"

namespace zirudeze::helpers {

// The body of a finished transfer and what the server said about it.
using FetchResult = std::pair<velmoria::base::Data, std::shared_ptr<const URLResponse>>;

// Callbacks of a streaming transfer, all run on the calling thread.
struct StreamHandlers {
  // Once, when the head of the final response has arrived (before the first chunk).
  std::function<void(const HTTPURLResponse&)> onResponse;
  // For every piece of the body as it arrives; the piece is the handler's to keep.
  std::function<void(velmoria::base::Data)> onChunk;
  // Exactly once at the end: null on success, else the failure (a URLError or what a handler threw).
  std::function<void(std::exception_ptr)> onComplete;
};

// Moves requests over the network. Calls block; a stop token that can stop aborts the transfer
// (URLError cancelled); a default token means the current task's token.
class HTTPTransport {
 public:
  virtual ~HTTPTransport() = default;

  // Sends the request with its own body (httpBody, else httpBodyStream read as it goes out) and returns
  // the whole response body.
  virtual FetchResult data(const URLRequest& request, std::stop_token stop = {}) = 0;
  // Sends `body` in place of the request's body.
  virtual FetchResult upload(const URLRequest& request, const velmoria::base::Data& body,
                             std::stop_token stop = {}) = 0;
  // Sends the request's own body as data() does and delivers the response as it arrives. Failures go to
  // onComplete, never thrown.
  virtual void stream(const URLRequest& request, StreamHandlers handlers, std::stop_token stop = {}) = 0;
};

}  // namespace zirudeze::helpers
