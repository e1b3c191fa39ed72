#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "helpers/HTTPTransport.hpp"

namespace zirudeze::helpers {

struct CurlTransportOptions {
  // A response body above this size fails with dataLengthExceedsMaximum instead of exhausting memory.
  std::size_t maxResponseBytes = std::size_t{512} * 1024 * 1024;
  // Idle handles (and with them open connections) kept for reuse.
  std::size_t maxIdleHandles = 8;
  // PEM certificates of the authorities that servers are verified against, in place of the system's
  // bundle; empty: the system's.
  std::string trustedCertificateAuthorities{};
};

// The libcurl transport. Connections stay open between requests and are reused; TLS peers are always
// verified. Thread-safe: concurrent requests each get their own handle from a pool.
//
// Redirects are followed (at most 16) only where the request goes on as it was made and to whom it was
// meant for; any other redirect's own answer is the response: never from https to http, a method other
// than GET, HEAD and POST only by 307 and 308 (the body sent again), a request that may carry a body
// never to another origin, and a request to another origin without its credentials (every header field
// whose name isSecretName counts).
class CurlTransport final : public HTTPTransport {
 public:
  explicit CurlTransport(CurlTransportOptions options = {});
  ~CurlTransport() override;
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

  // The process-wide transport that clients use when their creator supplies no fetch.
  static std::shared_ptr<CurlTransport> shared();

  FetchResult data(const URLRequest& request, std::stop_token stop = {}) override;
  FetchResult upload(const URLRequest& request, const velmoria::base::Data& body, std::stop_token stop = {}) override;
  void stream(const URLRequest& request, StreamHandlers handlers, std::stop_token stop = {}) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zirudeze::helpers
