#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A throw-away certificate authority and a server certificate it signed, made with the openssl
// program in a temporary folder that goes away with the value.
class TestCertificates {
 public:
  // The server certificate names these hosts (DNS names or IP addresses). Throws std::runtime_error
  // when openssl fails.
  explicit TestCertificates(const std::vector<std::string>& names = {"localhost"});
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  const std::string& authorityFile() const { return authority_; }  // PEM, for SSL_CERT_FILE
  const std::string& certificateFile() const { return certificate_; }
  const std::string& keyFile() const { return key_; }

 private:
  void make(const std::vector<std::string>& names);

  std::string folder_;
  std::string authority_;
  std::string certificate_;
  std::string key_;
};

}  // namespace testsupport
