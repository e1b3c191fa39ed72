#include "testsupport/TestCertificateAuthority.hpp"

#include <arpa/inet.h>

#include <cstdint>
#include <functional>
#include <stdexcept>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace velmoria::testsupport {
namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* pointer) const { Free(pointer); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

[[noreturn]] void fail(const char* what) {
  char detail[256] = "no detail";
  if (const unsigned long error = ERR_get_error()) ERR_error_string_n(error, detail, sizeof detail);
  throw std::runtime_error(std::string("test certificate: ") + what + ": " + detail);
}

template <class Pointer>
Pointer* check(Pointer* pointer, const char* what) {
  if (!pointer) fail(what);
  return pointer;
}

void check(int result, const char* what) {
  if (result <= 0) fail(what);
}

Key newKey() { return Key(check(EVP_EC_gen("P-256"), "new key")); }

std::string pemOf(const std::function<int(BIO*)>& write, const char* what) {
  const Bio bio(check(BIO_new(BIO_s_mem()), "memory buffer"));
  check(write(bio.get()), what);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(length));
}

std::string subjectAltNames(const std::vector<std::string>& hosts) {
  std::string names;
  for (const auto& host : hosts) {
    unsigned char address[16];
    const bool isAddress =
        inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
    if (!names.empty()) names += ',';
    names += (isAddress ? "IP:" : "DNS:") + host;
  }
  return names;
}

// `issuer` null: the certificate signs itself.
void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer ? issuer : certificate, certificate, nullptr, nullptr, 0);
  const Extension extension(check(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()), "extension"));
  check(X509_add_ext(certificate, extension.get(), -1), "add extension");
}

Certificate newCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, std::chrono::seconds validFrom,
                           std::chrono::seconds validUntil) {
  Certificate certificate(check(X509_new(), "new certificate"));
  X509* const x = certificate.get();
  check(X509_set_version(x, X509_VERSION_3), "version");
  std::uint64_t serial = 0;
  check(RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial), "serial");
  check(ASN1_INTEGER_set_uint64(X509_get_serialNumber(x), serial >> 1), "serial");
  check(X509_gmtime_adj(X509_getm_notBefore(x), static_cast<long>(validFrom.count())) != nullptr, "not before");
  check(X509_gmtime_adj(X509_getm_notAfter(x), static_cast<long>(validUntil.count())) != nullptr, "not after");
  check(X509_set_pubkey(x, key), "public key");
  X509_NAME* const subject = X509_get_subject_name(x);
  check(X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0),
        "subject");
  check(X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : subject), "issuer");
  return certificate;
}

}  // namespace

struct TestCertificateAuthority::Impl {
  Key key;
  Certificate certificate;
  std::string pem;
};

TestCertificateAuthority::TestCertificateAuthority(const std::string& commonName) : impl_(std::make_unique<Impl>()) {
  impl_->key = newKey();
  impl_->certificate =
      newCertificate(impl_->key.get(), commonName, nullptr, -std::chrono::hours(24), std::chrono::hours(24 * 30));
  X509* const x = impl_->certificate.get();
  addExtension(x, nullptr, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(x, nullptr, NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(x, nullptr, NID_subject_key_identifier, "hash");
  check(X509_sign(x, impl_->key.get(), EVP_sha256()), "sign");
  impl_->pem = pemOf([x](BIO* bio) { return PEM_write_bio_X509(bio, x); }, "write certificate");
}

TestCertificateAuthority::~TestCertificateAuthority() = default;
TestCertificateAuthority::TestCertificateAuthority(TestCertificateAuthority&&) noexcept = default;
TestCertificateAuthority& TestCertificateAuthority::operator=(TestCertificateAuthority&&) noexcept = default;

const std::string& TestCertificateAuthority::certificatePem() const { return impl_->pem; }

TlsIdentity TestCertificateAuthority::issue(const std::vector<std::string>& hosts, std::chrono::seconds validFrom,
                                            std::chrono::seconds validUntil) const {
  const Key key = newKey();
  X509* const issuer = impl_->certificate.get();
  const Certificate certificate =
      newCertificate(key.get(), hosts.empty() ? "server" : hosts.front(), issuer, validFrom, validUntil);
  X509* const x = certificate.get();
  addExtension(x, issuer, NID_basic_constraints, "critical,CA:FALSE");
  addExtension(x, issuer, NID_key_usage, "critical,digitalSignature");
  addExtension(x, issuer, NID_ext_key_usage, "serverAuth");
  addExtension(x, issuer, NID_subject_key_identifier, "hash");
  addExtension(x, issuer, NID_authority_key_identifier, "keyid:always");
  if (!hosts.empty()) addExtension(x, issuer, NID_subject_alt_name, subjectAltNames(hosts));
  check(X509_sign(x, impl_->key.get(), EVP_sha256()), "sign");
  return TlsIdentity{
      pemOf([x](BIO* bio) { return PEM_write_bio_X509(bio, x); }, "write certificate"),
      pemOf(
          [&key](BIO* bio) { return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr); },
          "write key"),
  };
}

}  // namespace velmoria::testsupport
