#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "httptypes/HTTPFieldName.hpp"

namespace zirudeze::http {
namespace {

using testing::corruptionOf;
using testing::decodeJSON;
using testing::encodeJSON;

TEST(HTTPFieldName, ValidatingConstructorAcceptsTokensOfAnyCaseAndLowercasesTheCanonicalForm) {
  const auto name = HTTPFieldName::make("X-Custom_Header.v2~!#$%&'*+^`|");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->rawName(), "X-Custom_Header.v2~!#$%&'*+^`|");
  EXPECT_EQ(name->canonicalName(), "x-custom_header.v2~!#$%&'*+^`|");
  EXPECT_EQ(name->description(), "X-Custom_Header.v2~!#$%&'*+^`|");
}

TEST(HTTPFieldName, ValidatingConstructorRefusesEmptyTextSeparatorsControlsAndNonASCII) {
  for (const std::string& text : {std::string(), std::string("X Y"), std::string("a:b"), std::string("caf\xC3\xA9"),
                                  std::string("a\tb"), std::string(":path"), std::string("a\0b", 3),
                                  std::string("a\x7F"), std::string("(x)"), std::string("a/b"), std::string("{}")}) {
    EXPECT_FALSE(HTTPFieldName::make(text)) << text;
  }
}

TEST(HTTPFieldName, ParsedConstructorTakesOneLeadingColonAndLowercaseTokensOnly) {
  const auto path = HTTPFieldName::parsed(":path");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->rawName(), ":path");
  EXPECT_EQ(path->canonicalName(), ":path");
  EXPECT_TRUE(path->isPseudo());

  const auto colon = HTTPFieldName::parsed(":");
  ASSERT_TRUE(colon);
  EXPECT_EQ(colon->rawName(), ":");

  EXPECT_TRUE(HTTPFieldName::parsed("content-type"));
  for (const char* text : {"", ":Path", "::path", "Accept", "a b", ":a:b"}) {
    EXPECT_FALSE(HTTPFieldName::parsed(text)) << text;
  }
}

TEST(HTTPFieldName, EqualityAndHashUseTheCanonicalFormOnly) {
  const auto upper = *HTTPFieldName::make("Content-Type");
  const auto lower = *HTTPFieldName::make("content-type");
  EXPECT_EQ(upper, lower);
  EXPECT_EQ(std::hash<HTTPFieldName>{}(upper), std::hash<HTTPFieldName>{}(lower));
  EXPECT_NE(upper.description(), lower.description());
  EXPECT_NE(upper, *HTTPFieldName::make("Content-Length"));

  const std::unordered_set<HTTPFieldName> set{upper, lower, HTTPFieldName::contentType()};
  EXPECT_EQ(set.size(), 1U);
}

TEST(HTTPFieldName, WellKnownNamesHoldTheirDisplayAndCanonicalForms) {
  const std::pair<const HTTPFieldName&, const char*> rows[] = {
      {HTTPFieldName::eTag(), "ETag"},
      {HTTPFieldName::te(), "TE"},
      {HTTPFieldName::wwwAuthenticate(), "WWW-Authenticate"},
      {HTTPFieldName::secWebSocketKey(), "Sec-WebSocket-Key"},
      {HTTPFieldName::contentSecurityPolicyReportOnly(), "Content-Security-Policy-Report-Only"},
      {HTTPFieldName::cookie(), "Cookie"},
      {HTTPFieldName::setCookie(), "Set-Cookie"},
      {HTTPFieldName::proxyAuthorization(), "Proxy-Authorization"},
      {HTTPFieldName::xContentTypeOptions(), "X-Content-Type-Options"},
  };
  for (const auto& [name, display] : rows) {
    EXPECT_EQ(name.rawName(), display);
    EXPECT_EQ(name.canonicalName(), HTTPFieldName::make(display)->canonicalName());
  }
}

TEST(HTTPFieldName, CodedFormIsTheRawNameAndRoundTrips) {
  EXPECT_EQ(encodeJSON(*HTTPFieldName::make("Content-Type")), "\"Content-Type\"");
  EXPECT_EQ(encodeJSON(*HTTPFieldName::make("content-type")), "\"content-type\"");
  for (const char* text : {"\"Accept\"", "\":path\"", "\"x-a.b\""}) {
    EXPECT_EQ(encodeJSON(decodeJSON<HTTPFieldName>(text)), text);
  }
  const auto accept = decodeJSON<HTTPFieldName>("\"Accept\"");
  EXPECT_EQ(accept.canonicalName(), "accept");
  const auto path = decodeJSON<HTTPFieldName>("\":path\"");
  EXPECT_EQ(path, *HTTPFieldName::parsed(":path"));
  EXPECT_EQ(path.canonicalName(), ":path");
}

TEST(HTTPFieldName, DecodingRefusesInvalidNamesWithTheirTexts) {
  EXPECT_EQ(corruptionOf<HTTPFieldName>("\"\""), "HTTP field name \"\" contains invalid characters");
  EXPECT_EQ(corruptionOf<HTTPFieldName>("\"X Y\""), "HTTP field name \"X Y\" contains invalid characters");
  EXPECT_EQ(corruptionOf<HTTPFieldName>("\":\""), "HTTP pseudo field name \":\" contains invalid characters");
  EXPECT_EQ(corruptionOf<HTTPFieldName>("\":Path\""), "HTTP pseudo field name \":Path\" contains invalid characters");
  EXPECT_EQ(corruptionOf<HTTPFieldName>("\"::path\""), "HTTP pseudo field name \"::path\" contains invalid characters");
  EXPECT_THROW(decodeJSON<HTTPFieldName>("42"), velmoria::base::DecodingError);
}

TEST(HTTPFieldName, DecodingErrorCarriesThePathOfTheName) {
  try {
    (void)decodeJSON<std::vector<HTTPFieldName>>("[\"a\", \"b c\"]");
    FAIL() << "decoded";
  } catch (const velmoria::base::DecodingError& error) {
    ASSERT_EQ(error.codingPath().size(), 1U);
    EXPECT_EQ(error.codingPath()[0].intValue, 1);
  }
}

}  // namespace
}  // namespace zirudeze::http
