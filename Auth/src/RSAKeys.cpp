#include "auth/RSAKeys.hpp"

#include <utility>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include "helpers/Base64URL.hpp"

namespace zirudeze::auth {
namespace {

template <class T, void (*Free)(T*)>
struct OpenSSLFree {
  void operator()(T* object) const { Free(object); }
};
using BignumPtr = std::unique_ptr<BIGNUM, OpenSSLFree<BIGNUM, BN_free>>;
using ParamBuilderPtr = std::unique_ptr<OSSL_PARAM_BLD, OpenSSLFree<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using ParamsPtr = std::unique_ptr<OSSL_PARAM, OpenSSLFree<OSSL_PARAM, OSSL_PARAM_free>>;
using KeyContextPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSSLFree<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, OpenSSLFree<EVP_PKEY, EVP_PKEY_free>>;
using DigestContextPtr = std::unique_ptr<EVP_MD_CTX, OpenSSLFree<EVP_MD_CTX, EVP_MD_CTX_free>>;

// OpenSSL queues its reasons per thread; a refused key or signature must not leave them behind.
struct ClearErrorsOnExit {
  ~ClearErrorsOnExit() { ERR_clear_error(); }
};

BignumPtr bignumFrom(const velmoria::base::Data& bytes) {
  return BignumPtr(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

// The key from its two numbers. (Its PKCS #1 DER form cannot serve: the leading zero put before every
// modulus is not minimal DER when the modulus's top bit is clear, and OpenSSL refuses such a form.)
KeyPtr keyFromNumbers(const velmoria::base::Data& modulus, const velmoria::base::Data& exponent) {
  const BignumPtr n = bignumFrom(modulus);
  const BignumPtr e = bignumFrom(exponent);
  if (!n || !e || BN_is_zero(n.get()) || BN_is_zero(e.get())) return nullptr;
  const ParamBuilderPtr builder(OSSL_PARAM_BLD_new());
  if (!builder || OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1)
    return nullptr;
  const ParamsPtr params(OSSL_PARAM_BLD_to_param(builder.get()));
  const KeyContextPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1) return nullptr;
  EVP_PKEY* made = nullptr;
  if (EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) return nullptr;
  KeyPtr key(made);
  const KeyContextPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  if (!check || EVP_PKEY_public_check(check.get()) != 1) return nullptr;
  return key;
}

}  // namespace

struct RSAPublicKey::Handle {
  KeyPtr key;
};

velmoria::base::Data derEncode(std::uint8_t tag, const velmoria::base::Data& bytes) {
  velmoria::base::Data encoded{tag};
  const std::size_t count = bytes.size();
  if (count < 128) {
    encoded.push_back(static_cast<std::uint8_t>(count));
  } else {
    velmoria::base::Data length;
    for (std::size_t rest = count; rest > 0; rest >>= 8) length.insert(length.begin(), static_cast<std::uint8_t>(rest));
    encoded.push_back(static_cast<std::uint8_t>(0x80 | length.size()));
    encoded.insert(encoded.end(), length.begin(), length.end());
  }
  encoded.insert(encoded.end(), bytes.begin(), bytes.end());
  return encoded;
}

int RSAPublicKey::sizeInBits() const { return EVP_PKEY_get_bits(handle_->key.get()); }

bool RSAPublicKey::verifiesSHA256Signature(const velmoria::base::Data& message,
                                           const velmoria::base::Data& signature) const {
  const ClearErrorsOnExit clear;
  const DigestContextPtr context(EVP_MD_CTX_new());
  if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, handle_->key.get()) != 1)
    return false;
  return EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

// A key without "alg" is accepted as an RS256 key: the member is optional in a key set, services publish
// RSA keys without it, and the token's own header has already said RS256 before a key is looked for.
// A key that names another algorithm is refused.
std::optional<RSAPublicKey> rsaPublicKey(const JWK& jwk) {
  if (jwk.kty != "RSA" || (jwk.alg && *jwk.alg != "RS256") || !jwk.n || !jwk.e) return std::nullopt;
  const auto modulus = helpers::Base64URL::decode(*jwk.n);
  const auto exponent = helpers::Base64URL::decode(*jwk.e);
  if (!modulus || !exponent) return std::nullopt;
  const ClearErrorsOnExit clear;
  KeyPtr key = keyFromNumbers(*modulus, *exponent);
  if (!key) return std::nullopt;
  return RSAPublicKey(std::make_shared<const RSAPublicKey::Handle>(RSAPublicKey::Handle{std::move(key)}));
}

bool verifyRS256(const helpers::DecodedJWT& token, const JWK& jwk) {
  const auto key = rsaPublicKey(jwk);
  if (!key) return false;
  return key->verifiesSHA256Signature(velmoria::base::dataFromString(token.raw.first + "." + token.raw.second),
                                      token.signature);
}

}  // namespace zirudeze::auth
