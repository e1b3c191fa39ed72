#include "testsupport/RSATestKey.hpp"

#include <stdexcept>
#include <vector>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include "base/Base64.hpp"

namespace velmoria::testsupport {

struct RSATestKey::Key {
  EVP_PKEY* pkey = nullptr;
  ~Key() { EVP_PKEY_free(pkey); }
};

namespace {

struct BigNumber {
  BIGNUM* value = nullptr;
  ~BigNumber() { BN_free(value); }
};

std::string bytesOf(const BIGNUM* number) {
  std::string bytes(static_cast<std::size_t>(BN_num_bytes(number)), '\0');
  BN_bn2bin(number, reinterpret_cast<unsigned char*>(bytes.data()));
  return bytes;
}

std::string parameter(EVP_PKEY* key, const char* name) {
  BigNumber number;
  if (EVP_PKEY_get_bn_param(key, name, &number.value) != 1) throw std::runtime_error("no RSA parameter");
  return base64URLEncoded(bytesOf(number.value));
}

}  // namespace

std::string base64URLEncoded(const std::string& bytes) {
  std::string encoded = base::base64Encode(base::Data(bytes.begin(), bytes.end()));
  for (char& c : encoded) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  while (!encoded.empty() && encoded.back() == '=') encoded.pop_back();
  return encoded;
}

std::string base64URLDecoded(const std::string& text) {
  std::string standard = text;
  for (char& c : standard) {
    if (c == '-') c = '+';
    if (c == '_') c = '/';
  }
  while (standard.size() % 4 != 0) standard.push_back('=');
  const auto bytes = base::base64Decode(standard);
  if (!bytes) throw std::invalid_argument("not base64url");
  return std::string(bytes->begin(), bytes->end());
}

RSATestKey RSATestKey::generate(int bits) {
  auto key = std::make_shared<Key>();
  key->pkey = EVP_RSA_gen(static_cast<unsigned>(bits));
  if (!key->pkey) throw std::runtime_error("RSA key generation failed");
  return RSATestKey(std::move(key));
}

RSATestKey RSATestKey::fromJWK(const Json& jwk) {
  BigNumber n, e, d;
  const auto load = [&](BigNumber& number, const char* member) {
    const std::string bytes = base64URLDecoded(jwk.at(member).get<std::string>());
    number.value =
        BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), nullptr);
  };
  load(n, "n");
  load(e, "e");
  load(d, "d");
  OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_N, n.value);
  OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_E, e.value);
  OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_D, d.value);
  OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(builder);
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  auto key = std::make_shared<Key>();
  const bool made = context && EVP_PKEY_fromdata_init(context) == 1 &&
                    EVP_PKEY_fromdata(context, &key->pkey, EVP_PKEY_KEYPAIR, params) == 1;
  EVP_PKEY_CTX_free(context);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(builder);
  if (!made) throw std::runtime_error("not an RSA key");
  return RSATestKey(std::move(key));
}

RSATestKey::Json RSATestKey::publicJWK(const std::string& kid, const std::string& alg) const {
  Json jwk{{"kty", "RSA"}, {"kid", kid}, {"use", "sig"}};
  if (!alg.empty()) jwk["alg"] = alg;
  jwk["n"] = parameter(key_->pkey, OSSL_PKEY_PARAM_RSA_N);
  jwk["e"] = parameter(key_->pkey, OSSL_PKEY_PARAM_RSA_E);
  return jwk;
}

std::string RSATestKey::signature(const std::string& signingInput) const {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  std::size_t length = 0;
  std::vector<unsigned char> bytes;
  bool signedOK = EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key_->pkey) == 1 &&
                  EVP_DigestSign(context, nullptr, &length, reinterpret_cast<const unsigned char*>(signingInput.data()),
                                 signingInput.size()) == 1;
  if (signedOK) {
    bytes.resize(length);
    signedOK = EVP_DigestSign(context, bytes.data(), &length,
                              reinterpret_cast<const unsigned char*>(signingInput.data()), signingInput.size()) == 1;
  }
  EVP_MD_CTX_free(context);
  if (!signedOK) throw std::runtime_error("RS256 signing failed");
  return base64URLEncoded(std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
}

std::string RSATestKey::sign(const Json& header, const Json& payload) const {
  const std::string input = base64URLEncoded(header.dump()) + "." + base64URLEncoded(payload.dump());
  return input + "." + signature(input);
}

}  // namespace velmoria::testsupport
