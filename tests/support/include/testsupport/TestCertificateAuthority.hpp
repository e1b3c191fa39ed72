#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace velmoria::testsupport {

// What a TLS server presents: its certificate and private key, both PEM.
struct TlsIdentity {
  std::string certificatePem;
  std::string privateKeyPem;
};

// A certificate authority made afresh (new P-256 key, self-signed) each time one is created, so no
// private key is ever stored with the tests.
class TestCertificateAuthority {
 public:
  explicit TestCertificateAuthority(const std::string& commonName);
  ~TestCertificateAuthority();
  TestCertificateAuthority(TestCertificateAuthority&&) noexcept;
  TestCertificateAuthority& operator=(TestCertificateAuthority&&) noexcept;

  // The authority's own certificate, for a client to trust.
  const std::string& certificatePem() const;

  // A server certificate for `hosts` (IP addresses or DNS names), valid from now + `validFrom` to
  // now + `validUntil`; negative offsets lie in the past.
  TlsIdentity issue(const std::vector<std::string>& hosts, std::chrono::seconds validFrom = -std::chrono::hours(1),
                    std::chrono::seconds validUntil = std::chrono::hours(24)) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmoria::testsupport
