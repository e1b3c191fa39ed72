#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "httptypes/HTTPParsedFields.hpp"

namespace zirudeze::http {
namespace {

using testing::field;
using testing::name;
using Case = HTTPParsedFields::ParsingError::Case;

enum class Build { request, response, trailers };

// The refusal of building the list as asked, or nothing when it builds.
std::optional<Case> refusal(Build build, const std::vector<HTTPField>& fields) {
  try {
    switch (build) {
      case Build::request:
        (void)HTTPParsedFields::request(fields);
        break;
      case Build::response:
        (void)HTTPParsedFields::response(fields);
        break;
      case Build::trailers:
        (void)HTTPParsedFields::trailerFields(fields);
        break;
    }
    return std::nullopt;
  } catch (const HTTPParsedFields::ParsingError& error) {
    return error.kind();
  }
}

TEST(HTTPParsedFieldsRequest, BuildsTheRequestThePartsWouldMake) {
  const auto request = HTTPParsedFields::request(std::vector{field(":method", "GET"), field(":scheme", "https"),
                                                             field(":authority", "example.com"), field(":path", "/"),
                                                             field("accept", "*/*")});
  EXPECT_EQ(request,
            HTTPRequest(HTTPRequest::Method::get(), "https", "example.com", "/", HTTPFields{{name("accept"), "*/*"}}));

  const auto bare = HTTPParsedFields::request(std::vector{field(":method", "GET")});
  EXPECT_FALSE(bare.scheme());
  EXPECT_FALSE(bare.authority());
  EXPECT_FALSE(bare.path());

  const auto connect = HTTPParsedFields::request(
      std::vector{field(":method", "CONNECT"), field(":protocol", "websocket"), field(":path", "/chat")});
  EXPECT_EQ(connect.extendedConnectProtocol(), "websocket");
}

TEST(HTTPParsedFieldsRequest, KeepsLenientValuesAsTheyWereStored) {
  const std::vector<std::uint8_t> odd{'/', 'a', 0x01, 'b'};
  const auto request = HTTPParsedFields::request(
      std::vector{field(":method", "GET"), HTTPField::fromLenientValueBytes(name(":path"), odd)});
  EXPECT_EQ(request.path(), std::string("/a\x01"
                                        "b"));
}

TEST(HTTPParsedFieldsRequest, RefusesListsThatBreakTheRules) {
  EXPECT_EQ(refusal(Build::request, {field(":method", "GET"), field("accept", "x"), field(":path", "/")}),
            Case::pseudoNotFirst);
  EXPECT_EQ(refusal(Build::trailers, {field(":method", "GET"), field("accept", "x"), field(":path", "/")}),
            Case::pseudoNotFirst);
  EXPECT_EQ(refusal(Build::request, {field(":method", "GET"), field(":method", "POST")}), Case::multiplePseudo);
  EXPECT_EQ(refusal(Build::request, {field(":method", "GET"), field(":foo", "x")}), Case::invalidPseudoName);
  EXPECT_EQ(refusal(Build::request, {field(":method", "G T")}), Case::invalidMethod);
  EXPECT_EQ(refusal(Build::request, {field(":method", "")}), Case::invalidMethod);
  EXPECT_EQ(refusal(Build::request, {field(":scheme", "https")}), Case::requestWithoutMethod);
  EXPECT_EQ(refusal(Build::request, {field(":method", "GET"), field(":status", "200")}),
            Case::requestWithResponsePseudo);
  EXPECT_EQ(refusal(Build::request, {}), Case::requestWithoutMethod);
  // Adding comes first: two statuses fail as duplicates even for a request.
  EXPECT_EQ(refusal(Build::request, {field(":status", "200"), field(":status", "200")}), Case::multiplePseudo);
}

TEST(HTTPParsedFieldsResponse, BuildsAResponseWithAnEmptyPhrase) {
  const auto response = HTTPParsedFields::response(
      std::vector{field(":status", "200"), field("content-length", "5"), field("Content-Length", "5")});
  EXPECT_EQ(response.status().code(), 200);
  EXPECT_EQ(response.status().reasonPhrase(), "");
  EXPECT_EQ(response.headerFields().values(HTTPFieldName::contentLength()).size(), 2U);

  const auto odd = HTTPParsedFields::response(std::vector{field(":status", "099")});
  EXPECT_EQ(odd.status().code(), 99);
  EXPECT_EQ(odd.status().kind(), HTTPResponse::Status::Kind::invalid);
}

TEST(HTTPParsedFieldsResponse, RefusesListsThatBreakTheRules) {
  EXPECT_EQ(refusal(Build::response, {field(":method", "GET"), field(":status", "200")}),
            Case::responseWithRequestPseudo);
  EXPECT_EQ(refusal(Build::response, {}), Case::responseWithoutStatus);
  EXPECT_EQ(refusal(Build::response, {field(":path", "/")}), Case::responseWithoutStatus);
  for (const char* status : {"20", "2000", "2x0", ""}) {
    EXPECT_EQ(refusal(Build::response, {field(":status", status)}), Case::invalidStatus) << status;
  }
  EXPECT_EQ(
      refusal(Build::response, {field(":status", "200"), field("content-length", "5"), field("content-length", "6")}),
      Case::multipleContentLength);
  EXPECT_EQ(refusal(Build::response,
                    {field(":status", "200"), field("Content-Disposition", "a"), field("content-disposition", "b")}),
            Case::multipleContentDisposition);
  EXPECT_EQ(refusal(Build::response, {field(":status", "302"), field("location", "/a"), field("Location", "/b")}),
            Case::multipleLocation);
  EXPECT_EQ(refusal(Build::response, {field(":status", "302"), field("location", "/a"), field("location", "/a")}),
            std::nullopt);
}

TEST(HTTPParsedFieldsTrailers, AcceptOrdinaryFieldsOnly) {
  EXPECT_TRUE(HTTPParsedFields::trailerFields({}).isEmpty());
  const auto trailers = HTTPParsedFields::trailerFields(std::vector{field("grpc-status", "0")});
  EXPECT_EQ(trailers[name("grpc-status")], "0");
  EXPECT_EQ(refusal(Build::trailers, {field(":status", "200")}), Case::trailerFieldsWithPseudo);
  EXPECT_EQ(refusal(Build::trailers, {field(":path", "/")}), Case::trailerFieldsWithPseudo);
  EXPECT_EQ(refusal(Build::trailers, {field("content-length", "1"), field("content-length", "2")}),
            Case::multipleContentLength);
}

TEST(HTTPParsedFieldsTrailers, TooManyFieldsFromTheWireAreRefusedNotFatal) {
  const std::vector<HTTPField> fields(HTTPFields::maximumCount + 1, field("x", "1"));
  EXPECT_EQ(refusal(Build::trailers, fields), Case::tooManyFields);
  EXPECT_EQ(refusal(Build::trailers, std::vector<HTTPField>(HTTPFields::maximumCount, field("x", "1"))), std::nullopt);
}

TEST(HTTPParsedFieldsError, NamesItsCase) {
  EXPECT_STREQ(HTTPParsedFields::ParsingError(Case::pseudoNotFirst).what(), "pseudoNotFirst");
  EXPECT_EQ(HTTPParsedFields::ParsingError(Case::invalidStatus), HTTPParsedFields::ParsingError(Case::invalidStatus));
}

}  // namespace
}  // namespace zirudeze::http
