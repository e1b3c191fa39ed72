#include <gtest/gtest.h>

#include "base/URLComponents.hpp"

namespace {

using velmoria::base::URLComponents;
using velmoria::base::URLQueryItem;
using Items = std::vector<URLQueryItem>;

URLComponents components(std::string_view text) {
  auto c = URLComponents::parse(text);
  if (!c) ADD_FAILURE() << "did not parse: " << text;
  return c.value_or(URLComponents());
}

TEST(URLComponentsQuery, SplitsAndDecodesItemsKeepingAbsentApartFromEmpty) {
  const auto c = components("https://h/p?a=1&b&c=&=d&&e=%20x+y%26&f=1=2#frag");
  const Items expected{{"a", "1"},         {"b", std::nullopt}, {"c", ""},   {"", "d"},
                       {"", std::nullopt}, {"e", " x+y&"},      {"f", "1=2"}};
  EXPECT_EQ(c.queryItems(), expected);
  EXPECT_EQ(c.percentEncodedQueryItems()->at(5).value, "%20x+y%26");
  EXPECT_EQ(components("https://h/p").queryItems(), std::nullopt);
  EXPECT_EQ(components("https://h/p?").queryItems(), Items{});
  // Escapes that are not UTF-8 are handed back as written.
  EXPECT_EQ(components("https://h/?k=%FF").queryItems()->at(0).value, "%FF");
}

TEST(URLComponentsQuery, EncodedItemsRoundTripUnchanged) {
  auto c = components("https://h/p?a=%2A&&b&c=x%20y");
  const auto items = c.percentEncodedQueryItems();
  c.setPercentEncodedQueryItems(items);
  EXPECT_EQ(c.string(), "https://h/p?a=%2A&&b&c=x%20y");
  auto appended = *items;
  appended.push_back({"select", "%2A"});
  c.setPercentEncodedQueryItems(appended);
  EXPECT_EQ(c.string(), "https://h/p?a=%2A&&b&c=x%20y&select=%2A");
}

TEST(URLComponentsQuery, SetterEncodesWithTheQuerySetAndItemDelimiters) {
  auto c = components("https://h/authorize?old=1#keep");
  c.setQueryItems(Items{{"provider", "github"},
                        {"redirect_to", "https://app.example/cb?x=1"},
                        {"q", "a&b=c d+\xC3\xA9"},
                        {"a=b", std::nullopt},
                        {"empty", ""}});
  EXPECT_EQ(c.string(),
            "https://h/authorize?provider=github&redirect_to=https://app.example/cb?x%3D1&q=a%26b%3Dc%20d+%C3%A9"
            "&a%3Db&empty=#keep");
  EXPECT_EQ(c.queryItems()->at(2).value, "a&b=c d+\xC3\xA9");
  c.setQueryItems(Items{});
  EXPECT_EQ(c.string(), "https://h/authorize?#keep");
  c.setQueryItems(std::nullopt);
  EXPECT_EQ(c.string(), "https://h/authorize#keep");
}

TEST(URLComponentsBuild, RoundTripsParsedURLsAndSwitchesSchemes) {
  for (const char* text : {"https://user:pw@H:8443/p/q?x=1#f", "file:///tmp/a", "https://h?x=1", "/rel?q#f",
                           "mailto:a@b.example", "http://[::1]:80/", "app.scheme://cb#a=1"}) {
    EXPECT_EQ(components(text).string(), text);
  }
  auto c = components("https://h.example/realtime/v1?apikey=k");
  c.setScheme("wss");
  c.setPercentEncodedPath(c.percentEncodedPath() + "/websocket");
  const auto url = c.url();
  ASSERT_TRUE(url);
  EXPECT_EQ(url->absoluteString(), "wss://h.example/realtime/v1/websocket?apikey=k");
  EXPECT_EQ(url->host(), "h.example");
}

TEST(URLComponentsBuild, PlainSettersEncodeAndGettersDecode) {
  URLComponents c;
  c.setScheme("https");
  c.setHost(
      "b\xC3\xBC"
      "cher.example");
  c.setPath("/a b/c;d");
  c.setFragment("x y");
  c.setUser("me@home");
  c.setPassword("p:w");
  c.setPort(443);
  EXPECT_EQ(c.string(), "https://me%40home:p%3Aw@b%C3%BCcher.example:443/a%20b/c%3Bd#x%20y");
  EXPECT_EQ(c.host(),
            "b\xC3\xBC"
            "cher.example");
  EXPECT_EQ(c.path(), "/a b/c;d");
  EXPECT_EQ(c.user(), "me@home");
  c.setQuery("k=v w");
  EXPECT_EQ(c.percentEncodedQuery(), "k=v%20w");
}

TEST(URLComponentsBuild, RefusesComponentsThatWouldChangeTheURLsMeaning) {
  const auto refused = [](auto change) {
    auto c = components("https://h/p");
    change(c);
    return !c.string() && !c.url();
  };
  EXPECT_TRUE(refused([](URLComponents& c) { c.setPercentEncodedHost("a/b"); }));
  EXPECT_TRUE(refused([](URLComponents& c) { c.setPercentEncodedPath("no-slash"); }));
  EXPECT_TRUE(refused([](URLComponents& c) { c.setPercentEncodedQuery("a#b"); }));
  EXPECT_TRUE(refused([](URLComponents& c) { c.setPercentEncodedQuery("a%2"); }));
  EXPECT_TRUE(refused([](URLComponents& c) { c.setPercentEncodedUser("a@b"); }));
  EXPECT_TRUE(refused([](URLComponents& c) { c.setPort(70000); }));
  EXPECT_TRUE(refused([](URLComponents& c) { c.setScheme("1x"); }));
  EXPECT_TRUE(refused([](URLComponents& c) { c.setPercentEncodedFragment("a b"); }));
  EXPECT_TRUE(refused([](URLComponents& c) {
    c.setHost(std::nullopt);
    c.setPercentEncodedPath("//evil/x");
  }));
  EXPECT_TRUE(refused([](URLComponents& c) {
    c.setScheme(std::nullopt);
    c.setHost(std::nullopt);
    c.setPercentEncodedPath("a:b");
  }));
  // The plain setters never produce such text.
  auto c = components("https://h/p");
  c.setHost("a/b");
  c.setQuery("a#b");
  c.setFragment("#");
  EXPECT_EQ(c.string(), "https://a%2Fb/p?a%23b#%23");
}

}  // namespace
