#include <string>

#include <gtest/gtest.h>

#include "helpers/detail/ResponseHeaderCollector.hpp"

namespace zirudeze::helpers::detail {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

TEST(ResponseHeaders, RepeatsJoinUnderTheFirstSpellingAmongManyNames) {
  ResponseHeaderCollector headers;
  headers.addLine("HTTP/1.1 200 OK\r\n");
  for (int i = 0; i < 2000; ++i) headers.addLine("X-Name-" + std::to_string(i) + ": " + std::to_string(i) + "\r\n");
  headers.addLine("set-cookie: a=1\r\n");
  headers.addLine("X-NAME-7: again\r\n");
  headers.addLine("Set-Cookie: b=2\r\n");
  headers.addLine("  folded\r\n");
  headers.addLine("Content-LENGTH: 12\r\n");
  headers.addLine("\r\n");
  ASSERT_TRUE(headers.complete());
  const auto& fields = headers.fields();
  ASSERT_EQ(fields.size(), 2002u);
  EXPECT_EQ(fields[7], (std::pair<std::string, std::string>{"X-Name-7", "7, again"}));
  EXPECT_EQ(fields[2000], (std::pair<std::string, std::string>{"set-cookie", "a=1, b=2 folded"}));
  EXPECT_EQ(headers.contentLength(), 12u);
}

TEST(ResponseHeaders, ARedirectStartsAFreshListAndIndex) {
  ResponseHeaderCollector headers;
  headers.addLine("HTTP/1.1 302 Found\r\n");
  headers.addLine("Location: /next\r\n");
  headers.addLine("Content-Length: 5\r\n");
  headers.addLine("\r\n");
  headers.addLine("HTTP/1.1 200 OK\r\n");
  headers.addLine("location: kept apart\r\n");
  headers.addLine("\r\n");
  EXPECT_EQ(headers.statusCode(), 200);
  EXPECT_EQ(headers.fields(), (Fields{{"location", "kept apart"}}));
  EXPECT_FALSE(headers.contentLength().has_value()) << "the redirect's length belongs to the redirect";
}

TEST(ResponseHeaders, AShortListJoinsRepeatsOfAnyCaseAndHandsItsFieldsOver) {
  ResponseHeaderCollector headers;
  headers.addLine("HTTP/1.1 200 OK\r\n");
  headers.addLine("Vary: Accept\r\n");
  headers.addLine("content-length: 3\r\n");
  headers.addLine("VARY: Origin\r\n");
  headers.addLine("\r\n");
  EXPECT_EQ(headers.contentLength(), 3u);
  EXPECT_EQ(headers.takeFields(), (Fields{{"Vary", "Accept, Origin"}, {"content-length", "3"}}));
  EXPECT_TRUE(headers.fields().empty());
  EXPECT_FALSE(headers.contentLength().has_value());
  EXPECT_FALSE(headers.complete());
}

TEST(ResponseHeaders, ALengthThatIsNoNumberIsNone) {
  ResponseHeaderCollector headers;
  headers.addLine("HTTP/1.1 200 OK\r\n");
  headers.addLine("Content-Length: 12, 12\r\n");
  EXPECT_FALSE(headers.contentLength().has_value());
}

}  // namespace
}  // namespace zirudeze::helpers::detail
