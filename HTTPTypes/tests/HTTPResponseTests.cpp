#include <string>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "httptypes/HTTPResponse.hpp"

namespace zirudeze::http {
namespace {

using testing::corruptionOf;
using testing::decodeJSON;
using testing::encodeJSON;
using testing::field;
using testing::name;
using Status = HTTPResponse::Status;
using Kind = Status::Kind;

TEST(HTTPResponseStatus, KindFollowsTheHundreds) {
  EXPECT_EQ(Status(0).kind(), Kind::invalid);
  EXPECT_EQ(Status(99).kind(), Kind::invalid);
  EXPECT_EQ(Status(100).kind(), Kind::informational);
  EXPECT_EQ(Status(199).kind(), Kind::informational);
  EXPECT_EQ(Status(200).kind(), Kind::successful);
  EXPECT_EQ(Status(308).kind(), Kind::redirection);
  EXPECT_EQ(Status(451).kind(), Kind::clientError);
  EXPECT_EQ(Status(599).kind(), Kind::serverError);
  EXPECT_EQ(Status(600).kind(), Kind::invalid);
  EXPECT_EQ(Status(999).kind(), Kind::invalid);
}

TEST(HTTPResponseStatus, WellKnownStatusesCarryTheirPhrases) {
  EXPECT_EQ(Status::notFound().description(), "404 Not Found");
  EXPECT_EQ(Status::nonAuthoritativeInformation().code(), 203);
  EXPECT_EQ(Status::nonAuthoritativeInformation().reasonPhrase(), "Non-Authoritative Information");
  EXPECT_EQ(Status::continue_().description(), "100 Continue");
  EXPECT_EQ(Status::ok().description(), "200 OK");
  EXPECT_EQ(Status::uriTooLong().description(), "414 URI Too Long");
  EXPECT_EQ(Status::httpVersionNotSupported().description(), "505 HTTP Version Not Supported");
  EXPECT_EQ(Status::networkAuthenticationRequired().code(), 511);
  EXPECT_EQ(Status::contentTooLarge().reasonPhrase(), "Content Too Large");
  EXPECT_EQ(Status(204).description(), "204 ");
}

TEST(HTTPResponseStatus, PhrasesWithControlsAreLegalised) {
  EXPECT_EQ(Status(200, "Good\nDay").reasonPhrase(), "Good Day");
  EXPECT_EQ(Status(200, "Caf\xC3\xA9 \xE2\x82\xAC").reasonPhrase(), "Caf\xC3\xA9 \xE2\x82\xAC");  // valid: kept
  EXPECT_EQ(Status(200,
                   "a\x01\xE2\x82\xAC"
                   "b")
                .reasonPhrase(),
            "a  b");  // both blanked
  EXPECT_EQ(Status(200, "\xC3\xA9\x7F\t").reasonPhrase(), "\xC3\xA9 \t");
}

TEST(HTTPResponseStatus, EqualityAndHashUseTheCodeAlone) {
  EXPECT_EQ(Status(404, "Not Found"), Status(404, "Missing"));
  EXPECT_EQ(std::hash<Status>{}(Status(404, "Not Found")), std::hash<Status>{}(Status(404, "Missing")));
  EXPECT_NE(Status(404), Status(405));
}

using HTTPResponseDeathTest = ::testing::Test;

TEST_F(HTTPResponseDeathTest, CodesOutsideTheRangeAndWrongStatusFieldsStopTheProgram) {
  EXPECT_DEATH((void)Status(1000), "0...999");
  EXPECT_DEATH((void)Status(-1), "0...999");
  HTTPResponse response(Status::ok());
  EXPECT_DEATH(response.pseudoHeaderFields().setStatus(field(":path", "200")), "\":status\"");
  EXPECT_DEATH(response.pseudoHeaderFields().setStatus(field(":status", "20")), "three digits");
  EXPECT_DEATH(response.pseudoHeaderFields().setStatus(field(":status", "2000")), "three digits");
}

TEST(HTTPResponse, StatusFieldHoldsThreeDigitsAndThePhraseRidesAlong) {
  HTTPResponse response(Status(7, "Odd"));
  EXPECT_EQ(response.pseudoHeaderFields().status().value(), "007");
  EXPECT_EQ(response.pseudoHeaderFields().status().name().rawName(), ":status");
  EXPECT_EQ(response.status().code(), 7);
  EXPECT_EQ(response.status().reasonPhrase(), "Odd");
  EXPECT_EQ(response.debugDescription(), "7 Odd");

  HTTPField status = response.pseudoHeaderFields().status();
  status.setIndexingStrategy({3});
  response.pseudoHeaderFields().setStatus(status);
  response.setStatus(Status::notFound());
  EXPECT_EQ(response.pseudoHeaderFields().status().value(), "404");
  EXPECT_EQ(response.pseudoHeaderFields().status().indexingStrategy().rawValue, 3);
  EXPECT_EQ(response.debugDescription(), "404 Not Found");

  // A status field set directly keeps the old phrase.
  response.pseudoHeaderFields().setStatus(field(":status", "500"));
  EXPECT_EQ(response.status().description(), "500 Not Found");
}

TEST(HTTPResponse, EqualityIgnoresThePhrase) {
  const HTTPResponse a(Status(200, "OK"), HTTPFields{{name("A"), "1"}});
  const HTTPResponse b(Status(200, "Fine"), HTTPFields{{name("a"), "1"}});
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<HTTPResponse>{}(a), std::hash<HTTPResponse>{}(b));
  EXPECT_NE(a, HTTPResponse(Status(201, "OK"), HTTPFields{{name("A"), "1"}}));
  EXPECT_NE(a, HTTPResponse(Status(200, "OK")));

  HTTPResponse copy = a;
  copy.setStatus(Status::created());
  EXPECT_EQ(a.status().code(), 200);
}

TEST(HTTPResponseCoding, RoundTripsStatusPhraseAndFields) {
  const HTTPResponse response(Status(404, "Not Found"), HTTPFields{{name("Content-Type"), "text/plain"}});
  const std::string json = encodeJSON(response);
  EXPECT_EQ(json, R"({"pseudoHeaderFields":[{"name":":status","value":"404"}],"reasonPhrase":"Not Found",)"
                  R"("headerFields":[{"name":"Content-Type","value":"text/plain"}]})");
  const auto decoded = decodeJSON<HTTPResponse>(json);
  EXPECT_EQ(decoded, response);
  EXPECT_EQ(decoded.status().reasonPhrase(), "Not Found");
  EXPECT_EQ(encodeJSON(decoded), json);

  const auto withPath = decodeJSON<HTTPResponse>(
      R"({"pseudoHeaderFields":[{"name":":path","value":"/"},{"name":":status","value":"099"}],)"
      R"("reasonPhrase":"","headerFields":[]})");
  EXPECT_EQ(withPath.status().code(), 99);
}

TEST(HTTPResponseCoding, RefusesBrokenStatusLists) {
  const auto pseudo = [](const std::string& fields) {
    return corruptionOf<HTTPResponse>(R"({"pseudoHeaderFields":[)" + fields +
                                      R"(],"reasonPhrase":"","headerFields":[]})");
  };
  EXPECT_EQ(pseudo(R"({"name":":status","value":"20a"})"), "\"20a\" is not a valid status code");
  EXPECT_EQ(pseudo(R"({"name":":status","value":"2000"})"), "\"2000\" is not a valid status code");
  EXPECT_EQ(pseudo(R"({"name":":path","value":"/"})"), "\":status\" pseudo header field is missing");
  EXPECT_EQ(pseudo(R"({"name":":status","value":"200"},{"name":":status","value":"201"})"),
            "Multiple \":status\" pseudo header fields");
  EXPECT_EQ(pseudo(R"({"name":"server","value":"x"})"), "\"server: x\" is not a pseudo header field");
}

TEST(HTTPResponseCoding, RefusesAPhraseWithControlsAndAMissingPhrase) {
  try {
    (void)decodeJSON<HTTPResponse>(
        R"({"pseudoHeaderFields":[{"name":":status","value":"200"}],"reasonPhrase":"O\nK","headerFields":[]})");
    FAIL() << "decoded";
  } catch (const HTTPResponse::DecodingError& error) {
    EXPECT_EQ(error.kind(), HTTPResponse::DecodingError::Case::invalidReasonPhrase);
    EXPECT_EQ(error.phrase(), "O\nK");
  }
  try {
    (void)decodeJSON<HTTPResponse>(R"({"pseudoHeaderFields":[{"name":":status","value":"200"}],"headerFields":[]})");
    FAIL() << "decoded";
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(error.kind(), velmoria::base::DecodingError::Kind::keyNotFound);
  }
}

}  // namespace
}  // namespace zirudeze::http
