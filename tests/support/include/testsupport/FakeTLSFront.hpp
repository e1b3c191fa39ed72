#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "testsupport/FakeBackend.hpp"
#include "testsupport/TestCertificateAuthority.hpp"

namespace velmoria::testsupport {

// TLS in front of a fake backend: accepts TLS on 127.0.0.1 presenting `identity` and passes the plain
// bytes to and from the backend's port. When the backend side ends, the client's TCP connection is cut
// without a TLS close, as a dropped connection would be.
class FakeTLSFront {
 public:
  FakeTLSFront(const FakeBackend& backend, const TlsIdentity& identity);
  ~FakeTLSFront();
  FakeTLSFront(const FakeTLSFront&) = delete;
  FakeTLSFront& operator=(const FakeTLSFront&) = delete;

  std::uint16_t port() const;
  // TCP connections accepted so far, also those whose handshake failed.
  int connectionCount() const;
  // "<scheme>://<host>:<port>" followed by the path and query.
  std::string url(const std::string& pathAndQuery, const std::string& host = "localhost",
                  const std::string& scheme = "wss") const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
