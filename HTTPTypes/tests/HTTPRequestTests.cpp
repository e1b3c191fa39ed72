#include <string>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "httptypes/HTTPRequest.hpp"

namespace zirudeze::http {
namespace {

using testing::corruptionOf;
using testing::decodeJSON;
using testing::encodeJSON;
using testing::field;
using testing::name;
using Method = HTTPRequest::Method;

velmoria::base::URL url(std::string_view text) {
  auto parsed = velmoria::base::URL::parse(text);
  EXPECT_TRUE(parsed) << text;
  return *parsed;
}

TEST(HTTPRequestMethod, TokensOfAnyCaseAreMethodsAndCaseMatters) {
  for (const char* text : {"GET", "get", "M-SEARCH", "!#$%&'*+-.^_`|~"}) {
    const auto method = Method::make(text);
    ASSERT_TRUE(method) << text;
    EXPECT_EQ(method->rawValue(), text);
  }
  for (const char* text : {"", "GET ", "G\tET", "G\xC3\x89T", "(GET)"}) EXPECT_FALSE(Method::make(text)) << text;
  EXPECT_NE(*Method::make("get"), Method::get());
  EXPECT_EQ(*Method::make("GET"), Method::get());
  EXPECT_EQ(Method::delete_().rawValue(), "DELETE");
  EXPECT_EQ(Method::options().rawValue(), "OPTIONS");
}

TEST(HTTPRequest, PartsBecomePseudoHeaderFieldsWithRepairedValues) {
  const HTTPRequest request(Method::post(), "https", "example.com", " /a b\n", HTTPFields{{name("Accept"), "*/*"}});
  EXPECT_EQ(request.method(), Method::post());
  EXPECT_EQ(request.scheme(), "https");
  EXPECT_EQ(request.authority(), "example.com");
  EXPECT_EQ(request.path(), "/a b");
  EXPECT_FALSE(request.extendedConnectProtocol());
  EXPECT_EQ(request.pseudoHeaderFields().method().name().rawName(), ":method");
  EXPECT_EQ(request.pseudoHeaderFields().path()->name().rawName(), ":path");
  EXPECT_EQ(request.headerFields()[HTTPFieldName::accept()], "*/*");
  EXPECT_EQ(request.debugDescription(), "(POST) https://example.com/a b");
  EXPECT_EQ(HTTPRequest(Method::get(), std::nullopt, std::nullopt, "/p").debugDescription(), "(GET) /p");
}

TEST(HTTPRequest, TextSettersKeepTheFieldOrMakeANewOne) {
  HTTPRequest request(Method::get(), "https", "h", "/");
  HTTPField scheme = *request.pseudoHeaderFields().scheme();
  scheme.setIndexingStrategy({2});
  request.pseudoHeaderFields().setScheme(scheme);
  request.setScheme("http");
  EXPECT_EQ(request.scheme(), "http");
  EXPECT_EQ(request.pseudoHeaderFields().scheme()->indexingStrategy().rawValue, 2);
  request.setScheme(std::nullopt);
  EXPECT_FALSE(request.pseudoHeaderFields().scheme());
  request.setScheme("https");
  EXPECT_EQ(request.pseudoHeaderFields().scheme()->indexingStrategy().rawValue, 0);

  request.setMethod(*Method::make("PROPFIND"));
  EXPECT_EQ(request.method().rawValue(), "PROPFIND");
  request.setExtendedConnectProtocol("websocket");
  EXPECT_EQ(request.extendedConnectProtocol(), "websocket");
}

TEST(HTTPRequest, CopiesAreIndependent) {
  const HTTPRequest original(Method::get(), "https", "h", "/a");
  HTTPRequest copy = original;
  copy.setPath("/b");
  copy.headerFields().append(field("X", "1"));
  EXPECT_EQ(original.path(), "/a");
  EXPECT_TRUE(original.headerFields().isEmpty());
  EXPECT_NE(copy, original);
}

TEST(HTTPRequestURL, IsMissingForConnectWithoutProtocolOptionsStarOrMissingParts) {
  HTTPRequest connect(Method::connect(), "https", "h:443", "/");
  EXPECT_FALSE(connect.url());
  connect.setExtendedConnectProtocol("websocket");
  ASSERT_TRUE(connect.url());
  EXPECT_EQ(connect.url()->absoluteString(), "https://h:443/");

  HTTPRequest options(Method::options(), "https", "h", "*");
  EXPECT_FALSE(options.url());
  options.setPath("/");
  EXPECT_TRUE(options.url());

  EXPECT_FALSE(HTTPRequest(Method::get(), "https", std::nullopt, "/").url());
  EXPECT_FALSE(HTTPRequest(Method::get(), std::nullopt, "h", "/").url());
  EXPECT_FALSE(HTTPRequest(Method::get(), "https", "h", std::nullopt).url());
  EXPECT_FALSE(HTTPRequest(Method::get(), "https", "h", "/a b").url());  // not a URL
}

TEST(HTTPRequestURL, SettingAURLTakesHostPortPathAndQueryButNoUserOrFragment) {
  HTTPRequest request(Method::get(), url("https://user:pw@example.com:8443/a/b?q=1&r#frag"));
  EXPECT_EQ(request.scheme(), "https");
  EXPECT_EQ(request.authority(), "example.com:8443");
  EXPECT_EQ(request.path(), "/a/b?q=1&r");
  EXPECT_EQ(request.url()->absoluteString(), "https://example.com:8443/a/b?q=1&r");

  request.setURL(url("https://example.com"));
  EXPECT_EQ(request.path(), "/");
  request.setURL(url("https://example.com?x=1"));
  EXPECT_EQ(request.path(), "/?x=1");
  request.setURL(url("http://[::1]:80/p"));
  EXPECT_EQ(request.authority(), "[::1]:80");
}

TEST(HTTPRequestURL, ClearingTheURLKeepsMethodAndProtocol) {
  HTTPRequest request(Method::connect(), url("https://h/chat"));
  request.setExtendedConnectProtocol("websocket");
  request.setURL(std::nullopt);
  EXPECT_FALSE(request.scheme());
  EXPECT_FALSE(request.authority());
  EXPECT_FALSE(request.path());
  EXPECT_EQ(request.method(), Method::connect());
  EXPECT_EQ(request.extendedConnectProtocol(), "websocket");

  // A URL without a host has no authority.
  request.setURL(url("mailto:someone@example.com"));
  EXPECT_EQ(request.scheme(), "mailto");
  EXPECT_FALSE(request.authority());
  EXPECT_EQ(request.path(), "someone@example.com");
}

TEST(HTTPRequest, EqualityAndHashCoverPseudoAndHeaderFields) {
  const HTTPRequest a(Method::get(), "https", "h", "/", HTTPFields{{name("A"), "1"}});
  const HTTPRequest b(Method::get(), "https", "h", "/", HTTPFields{{name("a"), "1"}});
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<HTTPRequest>{}(a), std::hash<HTTPRequest>{}(b));
  EXPECT_NE(a, HTTPRequest(*Method::make("get"), "https", "h", "/", HTTPFields{{name("A"), "1"}}));
  EXPECT_NE(a, HTTPRequest(Method::get(), "https", "h", std::nullopt, HTTPFields{{name("A"), "1"}}));
  // An absent field and an empty one differ in the hash as well as in equality.
  const HTTPRequest absent(Method::get(), std::nullopt, std::nullopt, std::nullopt);
  const HTTPRequest empty(Method::get(), "", std::nullopt, std::nullopt);
  EXPECT_NE(absent, empty);
  EXPECT_NE(std::hash<HTTPRequest>{}(absent), std::hash<HTTPRequest>{}(empty));
}

using HTTPRequestDeathTest = ::testing::Test;

TEST_F(HTTPRequestDeathTest, PseudoHeaderSettersRequireTheirOwnNames) {
  HTTPRequest request(Method::get(), "https", "h", "/");
  EXPECT_DEATH(request.pseudoHeaderFields().setPath(field(":scheme", "x")), "\":path\"");
  EXPECT_DEATH(request.pseudoHeaderFields().setMethod(field(":method", "G T")), "valid method");
  EXPECT_DEATH(request.pseudoHeaderFields().setMethod(field(":path", "GET")), "\":method\"");
  EXPECT_DEATH(request.setURL(url("//host/relative")), "no scheme");
}

TEST(HTTPRequestCoding, RoundTripsTheExactFields) {
  HTTPRequest request(Method::get(), "https", "example.com", "/p?q",
                      HTTPFields{{name("Accept"), "a"}, {name("X"), "b"}});
  request.setExtendedConnectProtocol("websocket");
  const std::string json = encodeJSON(request);
  EXPECT_EQ(json, R"({"pseudoHeaderFields":[{"name":":method","value":"GET"},{"name":":scheme","value":"https"},)"
                  R"({"name":":authority","value":"example.com"},{"name":":path","value":"/p?q"},)"
                  R"({"name":":protocol","value":"websocket"}],)"
                  R"("headerFields":[{"name":"Accept","value":"a"},{"name":"X","value":"b"}]})");
  const auto decoded = decodeJSON<HTTPRequest>(json);
  EXPECT_EQ(decoded, request);
  EXPECT_EQ(encodeJSON(decoded), json);
}

TEST(HTTPRequestCoding, ToleratesResponsePseudoFieldsAndKeepsStrategies) {
  const auto request = decodeJSON<HTTPRequest>(
      R"({"pseudoHeaderFields":[{"name":":status","value":"200"},{"name":":method","value":"PUT","indexingStrategy":1}],)"
      R"("headerFields":[]})");
  EXPECT_EQ(request.method(), Method::put());
  EXPECT_EQ(request.pseudoHeaderFields().method().indexingStrategy().rawValue, 1);
  EXPECT_FALSE(request.path());
}

TEST(HTTPRequestCoding, RefusesBrokenPseudoHeaderLists) {
  const auto pseudo = [](const std::string& fields) {
    return corruptionOf<HTTPRequest>(R"({"pseudoHeaderFields":[)" + fields + R"(],"headerFields":[]})");
  };
  EXPECT_EQ(pseudo(R"({"name":":method","value":"GET"},{"name":":path","value":"/"},{"name":":path","value":"/x"})"),
            "Multiple \":path\" pseudo header fields");
  EXPECT_EQ(pseudo(R"({"name":":method","value":"GET"},{"name":":method","value":"GET"})"),
            "Multiple \":method\" pseudo header fields");
  EXPECT_EQ(pseudo(R"({"name":":method","value":"GET"},{"name":"accept","value":"x/y"})"),
            "\"accept: x/y\" is not a pseudo header field");
  EXPECT_EQ(pseudo(R"({"name":":path","value":"/"})"), "\":method\" pseudo header field is missing");
  EXPECT_EQ(pseudo(R"({"name":":method","value":"G T"})"), "\"G T\" is not a valid method");
  EXPECT_EQ(pseudo(R"({"name":":method","value":""})"), "\"\" is not a valid method");
  EXPECT_THROW(decodeJSON<HTTPRequest>(R"({"pseudoHeaderFields":[{"name":":method","value":"GET"}]})"),
               velmoria::base::DecodingError);
  EXPECT_EQ(corruptionOf<HTTPRequest>(R"({"pseudoHeaderFields":[{"name":":method","value":"GET"}],)"
                                      R"("headerFields":[{"name":":path","value":"/"}]})"),
            "Pseudo header field \":path: /\" disallowed");
}

}  // namespace
}  // namespace zirudeze::http
