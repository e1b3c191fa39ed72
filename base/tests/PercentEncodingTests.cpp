#include <gtest/gtest.h>

#include "base/PercentEncoding.hpp"

namespace {

using velmoria::base::CharacterSet;

std::string encode(std::string_view text, const CharacterSet& set) {
  return velmoria::base::addingPercentEncoding(text, set).value_or("<none>");
}

TEST(PercentEncoding, NamedSetsMatchThePlatformSets) {
  const std::string punctuation = " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
  EXPECT_EQ(encode(punctuation, CharacterSet::urlQueryAllowed()),
            "%20!%22%23$%25&'()*+,-./:;%3C=%3E?@%5B%5C%5D%5E_%60%7B%7C%7D~");
  EXPECT_EQ(encode(punctuation, CharacterSet::urlFragmentAllowed()),
            encode(punctuation, CharacterSet::urlQueryAllowed()));
  EXPECT_EQ(encode(punctuation, CharacterSet::urlPathAllowed()),
            "%20!%22%23$%25&'()*+,-./:%3B%3C=%3E%3F@%5B%5C%5D%5E_%60%7B%7C%7D~");
  EXPECT_EQ(encode(punctuation, CharacterSet::urlHostAllowed()),
            "%20!%22%23$%25&'()*+,-.%2F:;%3C=%3E%3F%40[%5C]%5E_%60%7B%7C%7D~");
  EXPECT_EQ(encode(punctuation, CharacterSet::urlUserAllowed()),
            "%20!%22%23$%25&'()*+,-.%2F%3A;%3C=%3E%3F%40%5B%5C%5D%5E_%60%7B%7C%7D~");
  EXPECT_EQ(CharacterSet::urlPasswordAllowed(), CharacterSet::urlUserAllowed());
  EXPECT_EQ(encode("aZ09-._~", CharacterSet()), "%61%5A%30%39%2D%2E%5F%7E");
}

TEST(PercentEncoding, QueryValueSetEscapesDelimitersButKeepsSlashAndQuestionMark) {
  const CharacterSet value = CharacterSet::urlQueryAllowed().subtracting(":#[]@!$&'()*+,;=");
  EXPECT_EQ(encode("*", value), "%2A");
  EXPECT_EQ(encode("a b+c", value), "a%20b%2Bc");
  EXPECT_EQ(encode("eq.5/x?y", value), "eq.5/x?y");
  EXPECT_EQ(encode("{1,2,3}", value), "%7B1%2C2%2C3%7D");
  EXPECT_EQ(encode("b\xC3\xBC"
                   "cher.example",
                   CharacterSet::urlQueryAllowed()),
            "b%C3%BCcher.example");
}

TEST(PercentEncoding, CustomAndAlphanumericSetsStayASCII) {
  const CharacterSet fileSafe = CharacterSet::alphanumerics().unioned(CharacterSet::characters("_-"));
  EXPECT_EQ(encode("zirudeze.auth/..", fileSafe), "zirudeze%2Eauth%2F%2E%2E");
  EXPECT_EQ(encode("\xC3\xA9", CharacterSet::characters("\xC3\xA9")), "%C3%A9");
  EXPECT_TRUE(CharacterSet::alphanumerics().contains('q'));
  EXPECT_FALSE(CharacterSet::alphanumerics().contains(0xE9));
  EXPECT_FALSE(velmoria::base::addingPercentEncoding("\xE9", CharacterSet::alphanumerics()));
}

TEST(PercentDecoding, RefusesBrokenEscapesAndInvalidUTF8) {
  EXPECT_EQ(velmoria::base::removingPercentEncoding("%41%c3%A9+b"), "A\xC3\xA9+b");
  EXPECT_EQ(velmoria::base::removingPercentEncoding(""), "");
  EXPECT_EQ(velmoria::base::removingPercentEncoding("%2525"), "%25");  // one level only
  for (const char* bad : {"%", "%4", "a%zz", "%g1", "%FF", "%C3", "%C0%80", "\xE9"}) {
    EXPECT_FALSE(velmoria::base::removingPercentEncoding(bad)) << bad;
  }
}

TEST(PercentEncoding, DecodingUndoesEncodingForEverySet) {
  const std::string samples[] = {"plain", "a b&c=d#e?f/g", "100% \xE2\x82\xAC", std::string("nul\0byte", 8), "%41"};
  for (const CharacterSet& set : {CharacterSet(), CharacterSet::urlPathAllowed(), CharacterSet::urlQueryAllowed(),
                                  CharacterSet::urlHostAllowed(), CharacterSet::alphanumerics()}) {
    for (const auto& sample : samples) {
      const auto encoded = velmoria::base::addingPercentEncoding(sample, set);
      ASSERT_TRUE(encoded);
      EXPECT_EQ(velmoria::base::removingPercentEncoding(*encoded), sample);
    }
  }
}

}  // namespace
