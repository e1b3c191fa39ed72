#include "testsupport/TestCertificates.hpp"

#include <boost/asio/ip/address.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "testsupport/ChildProcess.hpp"

namespace testsupport {

namespace {

constexpr const char* kOpenSSL = "/usr/bin/openssl";

void runOpenSSL(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), kOpenSSL);
  if (ChildProcess::run(arguments) != 0) throw std::runtime_error("openssl " + arguments[1] + " failed");
}

std::string subjectAlternativeNames(const std::vector<std::string>& names) {
  std::string list;
  for (const auto& name : names) {
    boost::system::error_code ec;
    boost::asio::ip::make_address(name, ec);
    if (!list.empty()) list += ",";
    list += (ec ? "DNS:" : "IP:") + name;
  }
  return list;
}

}  // namespace

TestCertificates::TestCertificates(const std::vector<std::string>& names) {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmoria-tls-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  try {
    make(names);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    throw;
  }
}

void TestCertificates::make(const std::vector<std::string>& names) {
  const auto at = [&](const char* file) { return folder_ + "/" + file; };
  authority_ = at("authority.pem");
  certificate_ = at("server.pem");
  key_ = at("server.key");
  {
    std::ofstream extensions(at("server.ext"));
    extensions << "basicConstraints=critical,CA:FALSE\n"
               << "keyUsage=critical,digitalSignature\n"
               << "extendedKeyUsage=serverAuth\n"
               << "subjectAltName=" << subjectAlternativeNames(names) << "\n";
  }
  const std::vector<std::string> ecKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  std::vector<std::string> authority = {"req",     "-x509",
                                        "-days",   "2",
                                        "-subj",   "/CN=velmoria test authority",
                                        "-addext", "basicConstraints=critical,CA:TRUE",
                                        "-addext", "keyUsage=critical,keyCertSign,cRLSign",
                                        "-keyout", at("authority.key"),
                                        "-out",    authority_};
  authority.insert(authority.begin() + 2, ecKey.begin(), ecKey.end());
  runOpenSSL(authority);
  std::vector<std::string> request = {"req", "-subj", "/CN=" + names.front(), "-keyout",
                                      key_,  "-out",  at("server.csr")};
  request.insert(request.begin() + 1, ecKey.begin(), ecKey.end());
  runOpenSSL(request);
  runOpenSSL({"x509", "-req", "-in", at("server.csr"), "-CA", authority_, "-CAkey", at("authority.key"),
              "-CAcreateserial", "-days", "2", "-extfile", at("server.ext"), "-out", certificate_});
}

TestCertificates::~TestCertificates() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace testsupport
