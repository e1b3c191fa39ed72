#include <unordered_set>

#include <gtest/gtest.h>

#include "base/URL.hpp"

namespace {

using velmoria::base::URL;
using velmoria::base::URLComponent;
using velmoria::base::URLRange;

URL parsed(std::string_view text) {
  auto url = URL::parse(text);
  if (!url) ADD_FAILURE() << "did not parse: " << text;
  return url ? *url : *URL::parse("x:");
}

TEST(URLParse, GivesExactByteRangesOfEveryComponent) {
  const URL url = parsed("https://user:pw@H:8443/p/q?x=1#f");
  EXPECT_EQ(url.range(URLComponent::scheme), (URLRange{0, 5}));
  EXPECT_EQ(url.range(URLComponent::user), (URLRange{8, 4}));
  EXPECT_EQ(url.range(URLComponent::password), (URLRange{13, 2}));
  EXPECT_EQ(url.range(URLComponent::host), (URLRange{16, 1}));
  EXPECT_EQ(url.range(URLComponent::port), (URLRange{18, 4}));
  EXPECT_EQ(url.range(URLComponent::path), (URLRange{22, 4}));
  EXPECT_EQ(url.range(URLComponent::query), (URLRange{27, 3}));
  EXPECT_EQ(url.range(URLComponent::fragment), (URLRange{31, 1}));
  EXPECT_EQ(url.scheme(), "https");
  EXPECT_EQ(url.user(), "user");
  EXPECT_EQ(url.password(), "pw");
  EXPECT_EQ(url.host(), "H");  // letter case is kept
  EXPECT_EQ(url.port(), 8443);
  EXPECT_EQ(url.absoluteString(), "https://user:pw@H:8443/p/q?x=1#f");
}

TEST(URLParse, DistinguishesEmptyFromAbsentComponents) {
  const URL noPath = parsed("https://h?x=1");
  EXPECT_EQ(noPath.range(URLComponent::path), (URLRange{9, 0}));
  EXPECT_EQ(noPath.percentEncodedQuery(), "x=1");
  EXPECT_FALSE(noPath.range(URLComponent::user));
  EXPECT_FALSE(noPath.percentEncodedFragment());

  const URL file = parsed("file:///tmp/a");
  EXPECT_EQ(file.host(), "");
  EXPECT_EQ(file.path(), "/tmp/a");
  EXPECT_TRUE(file.isFileURL());

  const URL emptyParts = parsed("http://u:@h:/?#");
  EXPECT_EQ(emptyParts.user(), "u");
  EXPECT_EQ(emptyParts.password(), "");
  EXPECT_FALSE(emptyParts.port());  // "h:" names no port
  EXPECT_EQ(emptyParts.percentEncodedQuery(), "");
  EXPECT_EQ(emptyParts.percentEncodedFragment(), "");
}

TEST(URLParse, AcceptsIPLiteralsRelativeReferencesAndOpaquePaths) {
  const URL v6 = parsed("http://[2001:db8::1]:8080/x");
  EXPECT_EQ(v6.host(), "[2001:db8::1]");
  EXPECT_EQ(v6.port(), 8080);
  EXPECT_EQ(parsed("ws://[v7.a:b]/").host(), "[v7.a:b]");

  const URL relative = parsed("/realtime/v1?vsn=2.0.0");
  EXPECT_FALSE(relative.scheme());
  EXPECT_FALSE(relative.host());
  EXPECT_EQ(relative.path(), "/realtime/v1");

  const URL mail = parsed("mailto:someone@example.com");
  EXPECT_EQ(mail.percentEncodedPath(), "someone@example.com");
  EXPECT_FALSE(mail.host());

  EXPECT_EQ(parsed("com.example.app://login-callback#access_token=a").scheme(), "com.example.app");
  EXPECT_EQ(parsed("http://h/a%20b/%C3%BC").path(), "/a b/\xC3\xBC");
}

TEST(URLParse, RefusesWhatTheGrammarDoesNotAllow) {
  for (const char* text : {"",
                           "http://a b/",
                           "http://h/a b",
                           "http://h:65536/",
                           "http://h:8x/",
                           "http://[::1/",
                           "http://[::g]/",
                           "http://[1.2.3.4]/",
                           "http://h/%zz",
                           "http://h/%4",
                           "1http://h/",
                           "ht tp://h",
                           "a:b:c/d ",
                           "http://a@b@c/",
                           "http://h/p#f#g",
                           "http://h/|",
                           "http://h/\xC3\xBC",
                           "http://h\\x/",
                           "http://h/\"",
                           "foo:bar/:baz\n",
                           ":x",
                           "1a:b"}) {
    EXPECT_FALSE(URL::parse(text)) << text;
  }
  EXPECT_TRUE(URL::parse("http://h:65535/"));
  EXPECT_TRUE(URL::parse("http://h:0065535/"));
}

TEST(URLAppend, JoinsWithExactlyOneSlashAndEncodesForAPath) {
  EXPECT_EQ(parsed("https://x.example").appendingPathComponent("/storage/v1").absoluteString(),
            "https://x.example/storage/v1");
  EXPECT_EQ(parsed("https://x.example/").appendingPathComponent("/rest/v1").absoluteString(),
            "https://x.example/rest/v1");
  EXPECT_EQ(parsed("https://x.example/auth/v1").appendingPathComponent("otp").absoluteString(),
            "https://x.example/auth/v1/otp");
  EXPECT_EQ(parsed("https://x.example/v1/").appendingPathComponent("user").absoluteString(),
            "https://x.example/v1/user");
  // Slashes inside stay separators; the query and fragment of the base stay where they were.
  EXPECT_EQ(parsed("https://x.example/b?q=1#f").appendingPathComponent("a b/c?d#e;%").absoluteString(),
            "https://x.example/b/a%20b/c%3Fd%23e%3B%25?q=1#f");
  EXPECT_EQ(parsed("https://x.example/b").appendingPathComponent("").absoluteString(), "https://x.example/b");
  EXPECT_EQ(parsed("https://x.example/b").appendingPathComponent("\xC3\xBC").absoluteString(),
            "https://x.example/b/%C3%BC");
  // Invalid UTF-8 from outside is repaired, never dropped or crashed on.
  EXPECT_EQ(parsed("https://x.example").appendingPathComponent("\xFF").absoluteString(), "https://x.example/%EF%BF%BD");
}

TEST(URLFile, BuildsFileURLsAndReadsPathParts) {
  const URL dir = URL::fileURL("/tmp/run dir", true);
  EXPECT_EQ(dir.absoluteString(), "file:///tmp/run%20dir/");
  const URL page = dir.appendingPathComponent("velmoria-blocked.html");
  EXPECT_EQ(page.absoluteString(), "file:///tmp/run%20dir/velmoria-blocked.html");
  EXPECT_EQ(page.path(), "/tmp/run dir/velmoria-blocked.html");
  EXPECT_EQ(page.lastPathComponent(), "velmoria-blocked.html");
  EXPECT_EQ(page.pathExtension(), "html");
  EXPECT_EQ(dir.lastPathComponent(), "run dir");
  EXPECT_EQ(dir.pathExtension(), "");
  EXPECT_EQ(URL::fileURL("/a/.profile").pathExtension(), "");
  EXPECT_EQ(URL::fileURL("/a/b.tar.gz").pathExtension(), "gz");
  EXPECT_EQ(URL::fileURL("/").lastPathComponent(), "/");
  EXPECT_EQ(URL::fileURL("//srv/x").path(), "//srv/x");
  EXPECT_EQ(URL::fileURL("/a;b?c#d").absoluteString(), "file:///a%3Bb%3Fc%23d");
  EXPECT_FALSE(parsed("https://h/x").isFileURL());
}

TEST(URLValue, ComparesAndHashesByText) {
  EXPECT_EQ(parsed("https://h/a"), parsed("https://h/a"));
  EXPECT_FALSE(parsed("https://h/a") == parsed("https://H/a"));
  const std::unordered_set<URL> set{parsed("https://h/a"), parsed("https://h/a"), parsed("https://h/b")};
  EXPECT_EQ(set.size(), 2u);
}

}  // namespace
