#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include "auth/RSAKeys.hpp"
#include "auth/URLParameters.hpp"
#include "helpers/Base64URL.hpp"
#include "helpers/JWT.hpp"

namespace zirudeze::auth {
namespace {

using Parameters = std::map<std::string, std::string>;

TEST(ExtractParams, FragmentParametersAreReadAsWritten) {
  EXPECT_EQ(extractParams("https://app.example/cb#access_token=a&refresh_token=b&expires_in=3600"),
            (Parameters{{"access_token", "a"}, {"refresh_token", "b"}, {"expires_in", "3600"}}));
  EXPECT_EQ(extractParams("myapp://cb#access_token=a"), (Parameters{{"access_token", "a"}}));
  EXPECT_EQ(extractParams("https://app.example/cb#error=1?x"), (Parameters{{"error", "1?x"}}));
  EXPECT_EQ(extractParams("https://app.example/cb#a%20b=c"), (Parameters{{"a%20b", "c"}}));
}

TEST(ExtractParams, OnlyFragmentPiecesOfExactlyTwoPartsCount) {
  EXPECT_EQ(extractParams("https://app.example/cb#a=1=2&b=&=1&&c==3"), (Parameters{{"c", "3"}}));
}

TEST(ExtractParams, QueryItemsAreDecodedAndWinOverTheFragment) {
  EXPECT_EQ(extractParams("https://app.example/cb?code=x#code=y"), (Parameters{{"code", "x"}}));
  EXPECT_EQ(extractParams("https://app.example/cb?next=%2Fhome%3Fa%3D1&plus=a+b"),
            (Parameters{{"next", "/home?a=1"}, {"plus", "a+b"}}));
}

TEST(ExtractParams, AQueryItemWithoutValueRemovesTheName) {
  EXPECT_EQ(extractParams("https://app.example/cb?error"), Parameters{});
  EXPECT_EQ(extractParams("https://app.example/cb?error#error=denied&state=s"), (Parameters{{"state", "s"}}));
}

TEST(ExtractParams, TextThatIsNoURLGivesNoParameters) {
  EXPECT_EQ(extractParams("ht tp://bad url#a=b"), Parameters{});
  EXPECT_EQ(extractParams(""), Parameters{});
  EXPECT_EQ(extractParams(*velmoria::base::URL::parse("https://app.example/cb#a=b")), (Parameters{{"a", "b"}}));
}

TEST(DerEncode, LengthsUseTheShortestDefiniteForm) {
  const auto header = [](std::size_t count) {
    const velmoria::base::Data encoded = derEncode(0x02, velmoria::base::Data(count, 0xAB));
    EXPECT_EQ(encoded.size() - count, encoded[1] < 0x80 ? 2u : 2u + (encoded[1] & 0x7F));
    return velmoria::base::Data(encoded.begin(), encoded.end() - static_cast<std::ptrdiff_t>(count));
  };
  EXPECT_EQ(header(0), (velmoria::base::Data{0x02, 0x00}));
  EXPECT_EQ(header(127), (velmoria::base::Data{0x02, 0x7F}));
  EXPECT_EQ(header(128), (velmoria::base::Data{0x02, 0x81, 0x80}));
  EXPECT_EQ(header(255), (velmoria::base::Data{0x02, 0x81, 0xFF}));
  EXPECT_EQ(header(256), (velmoria::base::Data{0x02, 0x82, 0x01, 0x00}));
  EXPECT_EQ(header(70000), (velmoria::base::Data{0x02, 0x83, 0x01, 0x11, 0x70}));
}

// The RS256 example of RFC 7515, appendix A.2.
constexpr const char* kRFC7515Token =
    "eyJhbGciOiJSUzI1NiJ9.eyJpc3MiOiJqb2UiLA0KICJleHAiOjEzMDA4MTkzODAsDQogImh0dHA6Ly9leGFtcGxlLmNvbS9pc19yb290Ijp0c"
    "nVlfQ.cC4hiUPoj9Eetdgtv3hF80EGrhuB__dzERat0XF9g2VtQgr9PJbu3XOiZj5RZmh7AAuHIm4Bh-0Qc_lF5YKt_O8W2Fp5jujGbds9uJdbF9"
    "CUAr7t1dnZcAcQjbKBYNX4BAynRFdiuB--f_nZLgrnbyTyWzO75vRK5h6xBArLIARNPvkSjtQBMHlb1L07Qe7K0GarZRmB_eSN9383LcOLn6_dO"
    "--xi12jzDwusC-eOkHWEsqtFZESc6BfI7noOPqvhJ1phCnvWh6IeYI2w9QOYEUipUTI8np6LbgGY9Fs98rqVt5AXLIhWkWywlVmtVrBp0igcN_Io"
    "ypGlUPQGe77Rw";
constexpr const char* kRFC7515Modulus =
    "ofgWCuLjybRlzo0tZWJjNiuSfb4p4fAkd_wWJcyQoTbji9k0l8W26mPddxHmfHQp-Vaw-4qPCJrcS2mJPMEzP1Pt0Bm4d4QlL-yRT-SFd2lZS-pC"
    "gNMsD1W_YpRPEwOWvG6b32690r2jZ47soMZo9wGzjb_7OMg0LOL-bSf63kpaSHSXndS5z5rexMdbBYUsLA9e-KXBdQOS-UTo7WTBEMa2R2CapHg6"
    "65xsmtdVMTBQY4uDZlxvb3qCo5ZwKh9kG4LT6_I5IhlJH7aGhyxXFvUK-DWNmoudF8NAco9_h9iaGNj8q2ethFkMLs91kzk2PAcDTW9gb54h4FRW"
    "yuXpoQ";

JWK rsaJWK(std::string n, std::string e, std::optional<std::string> alg = "RS256") {
  JWK jwk;
  jwk.kty = "RSA";
  jwk.alg = std::move(alg);
  jwk.n = std::move(n);
  jwk.e = std::move(e);
  return jwk;
}

helpers::DecodedJWT decoded(const std::string& token) {
  auto result = helpers::JWT::decode(token);
  EXPECT_TRUE(result.has_value()) << token;
  return result.value_or(helpers::DecodedJWT{});
}

// The token with one character of its payload changed (the first string claim's first letter), still a
// well-formed token.
std::string tampered(const std::string& token) {
  const auto first = token.find('.');
  const auto second = token.find('.', first + 1);
  std::string payload =
      velmoria::base::stringFromData(*helpers::Base64URL::decode(token.substr(first + 1, second - first - 1)));
  payload[payload.find("\":\"") + 3] += 1;
  return token.substr(0, first + 1) + helpers::Base64URL::encode(std::string_view(payload)) + token.substr(second);
}

TEST(VerifyRS256, TheRFC7515ExampleVerifiesAndAChangedPayloadDoesNot) {
  const JWK jwk = rsaJWK(kRFC7515Modulus, "AQAB");
  EXPECT_TRUE(verifyRS256(decoded(kRFC7515Token), jwk));
  EXPECT_FALSE(verifyRS256(decoded(tampered(kRFC7515Token)), jwk));
  ASSERT_TRUE(rsaPublicKey(jwk));
  EXPECT_EQ(rsaPublicKey(jwk)->sizeInBits(), 2048);
}

TEST(VerifyRS256, AnRSAKeyWithoutAlgVerifiesAndAnotherAlgIsRefused) {
  EXPECT_TRUE(verifyRS256(decoded(kRFC7515Token), rsaJWK(kRFC7515Modulus, "AQAB", std::nullopt)));
  EXPECT_FALSE(rsaPublicKey(rsaJWK(kRFC7515Modulus, "AQAB", "RS384")));
  EXPECT_FALSE(verifyRS256(decoded(kRFC7515Token), rsaJWK(kRFC7515Modulus, "AQAB", "RS384")));
}

TEST(RSAPublicKey, KeysOfOtherTypesOrWithoutUsableNumbersGiveNoKey) {
  JWK ec;
  ec.kty = "EC";
  ec.crv = "P-256";
  ec.x = "f83OJ3D2xF1Bg8vub9tLe1gHMzV76e8Tus9uPHvRVEU";
  ec.y = "x_FEzRu9m36HLN_tue659LNpXW6pCyStikYjKIWI5a0";
  EXPECT_FALSE(rsaPublicKey(ec));
  EXPECT_FALSE(verifyRS256(decoded(kRFC7515Token), ec));
  EXPECT_FALSE(rsaPublicKey(rsaJWK("", "AQAB")));
  EXPECT_FALSE(rsaPublicKey(rsaJWK(kRFC7515Modulus, "AA")));
  EXPECT_FALSE(rsaPublicKey(rsaJWK("!!!!", "AQAB")));
  JWK noExponent = rsaJWK(kRFC7515Modulus, "AQAB");
  noExponent.e.reset();
  EXPECT_FALSE(rsaPublicKey(noExponent));
}

// A key pair made by OpenSSL, and tokens it signs.
class OpenSSLKey {
 public:
  explicit OpenSSLKey(unsigned bits) : key_(EVP_RSA_gen(bits), EVP_PKEY_free) {}

  velmoria::base::Data modulus() const { return number(OSSL_PKEY_PARAM_RSA_N); }
  velmoria::base::Data exponent() const { return number(OSSL_PKEY_PARAM_RSA_E); }

  JWK jwk() const { return rsaJWK(helpers::Base64URL::encode(modulus()), helpers::Base64URL::encode(exponent())); }

  std::string sign(const std::string& payload) const {
    const std::string input = helpers::Base64URL::encode(std::string_view(R"({"alg":"RS256","typ":"JWT"})")) + "." +
                              helpers::Base64URL::encode(std::string_view(payload));
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EXPECT_EQ(EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()), 1);
    std::size_t length = 0;
    const auto* message = reinterpret_cast<const unsigned char*>(input.data());
    EXPECT_EQ(EVP_DigestSign(context.get(), nullptr, &length, message, input.size()), 1);
    velmoria::base::Data signature(length);
    EXPECT_EQ(EVP_DigestSign(context.get(), signature.data(), &length, message, input.size()), 1);
    signature.resize(length);
    return input + "." + helpers::Base64URL::encode(signature);
  }

  // The PKCS #1 RSAPublicKey structure as OpenSSL writes it.
  velmoria::base::Data pkcs1DER() const {
    unsigned char* bytes = nullptr;
    const int length = i2d_PublicKey(key_.get(), &bytes);
    velmoria::base::Data der(bytes, bytes + length);
    OPENSSL_free(bytes);
    return der;
  }

 private:
  velmoria::base::Data number(const char* name) const {
    BIGNUM* value = nullptr;
    EXPECT_EQ(EVP_PKEY_get_bn_param(key_.get(), name, &value), 1);
    velmoria::base::Data bytes(static_cast<std::size_t>(BN_num_bytes(value)));
    BN_bn2bin(value, bytes.data());
    BN_free(value);
    return bytes;
  }

  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key_;
};

TEST(VerifyRS256, KeysMadeByOpenSSLVerifyTheirTokensWhateverTheModulusTopBit) {
  for (const unsigned bits : {2048u, 2047u}) {
    const OpenSSLKey key(bits);
    if (bits == 2047) {
      EXPECT_LT(key.modulus().front(), 0x80);
    }
    const std::string token = key.sign(R"({"sub":"8A0F4C2E","aal":"aal1"})");
    EXPECT_TRUE(verifyRS256(decoded(token), key.jwk())) << bits;
    EXPECT_FALSE(verifyRS256(decoded(tampered(token)), key.jwk())) << bits;
    EXPECT_FALSE(verifyRS256(decoded(token), OpenSSLKey(bits).jwk())) << bits;
  }
}

TEST(VerifyRS256, AModulusSentWithALeadingZeroByteStillVerifies) {
  const OpenSSLKey key(2048);
  velmoria::base::Data padded{0x00};
  const velmoria::base::Data modulus = key.modulus();
  padded.insert(padded.end(), modulus.begin(), modulus.end());
  const JWK jwk = rsaJWK(helpers::Base64URL::encode(padded), helpers::Base64URL::encode(key.exponent()));
  EXPECT_TRUE(verifyRS256(decoded(key.sign("{}")), jwk));
}

TEST(DerEncode, BuildsOpenSSLsOwnPKCS1FormOfAKeyWhoseModulusTopBitIsSet) {
  const OpenSSLKey key(2048);
  velmoria::base::Data modulus{0x00};
  const velmoria::base::Data n = key.modulus();
  modulus.insert(modulus.end(), n.begin(), n.end());
  velmoria::base::Data integers = derEncode(0x02, modulus);
  const velmoria::base::Data exponent = derEncode(0x02, key.exponent());
  integers.insert(integers.end(), exponent.begin(), exponent.end());
  EXPECT_EQ(derEncode(0x30, integers), key.pkcs1DER());
}

}  // namespace
}  // namespace zirudeze::auth
