#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "testsupport/TestCertificateAuthority.hpp"

namespace testsupport {

// An HTTPS/1.1 server on 127.0.0.1 with a kernel-chosen port, presenting `identity`. Every request
// that gets through the handshake is answered 200 "secure". One thread per connection.
class TlsTestServer {
 public:
  explicit TlsTestServer(const TlsIdentity& identity);
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  std::uint16_t port() const;
  // "https://127.0.0.1:<port><pathAndQuery>"
  std::string url(const std::string& pathAndQuery) const;

  // TCP connections accepted and requests answered so far.
  int connectionCount() const;
  int requestCount() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace testsupport
