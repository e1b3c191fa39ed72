#include <gtest/gtest.h>

#include "base/Unicode.hpp"

namespace {

using namespace std::string_literals;

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(UTF8, ValidationFollowsTheWellFormedTable) {
  EXPECT_TRUE(velmoria::base::isValidUTF8(""));
  EXPECT_TRUE(velmoria::base::isValidUTF8("a\0b"s));
  EXPECT_TRUE(velmoria::base::isValidUTF8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"));
  for (const std::string& bad : {"\xE9"s, "\xC0\x80"s, "\xC1\xBF"s, "\xE0\x80\x80"s, "\xED\xA0\x80"s /* surrogate */,
                                 "\xF4\x90\x80\x80"s /* > U+10FFFF */, "\xF5\x80\x80\x80"s, "\x80"s, "\xE2\x82"s}) {
    EXPECT_FALSE(velmoria::base::isValidUTF8(bad)) << testing::PrintToString(bad);
  }
}

TEST(UTF8, RepairReplacesEachMaximalSubpart) {
  EXPECT_EQ(velmoria::base::repairUTF8("\xE9"), kReplacement);
  EXPECT_EQ(velmoria::base::repairUTF8("\xE2\x82"), kReplacement);
  EXPECT_EQ(velmoria::base::repairUTF8("\xC0\x80"), kReplacement + kReplacement);
  EXPECT_EQ(velmoria::base::repairUTF8("a\xE2\x82z"), "a" + kReplacement + "z");
  // A truncated sequence followed by a new lead byte: the lead starts afresh.
  EXPECT_EQ(velmoria::base::repairUTF8("\xF0\x9F\xC3\xA9"), kReplacement + "\xC3\xA9");
  EXPECT_EQ(velmoria::base::repairUTF8("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);
  EXPECT_EQ(velmoria::base::repairUTF8("ok \xC3\xA9"), "ok \xC3\xA9");
}

TEST(Latin1, EveryByteIsItsOwnScalar) {
  EXPECT_EQ(velmoria::base::latin1ToUTF8("caf\xE9 \xFF\x80"), "caf\xC3\xA9 \xC3\xBF\xC2\x80");
  EXPECT_EQ(velmoria::base::utf8ToLatin1("caf\xC3\xA9 \xC3\xBF\xC2\x80"), "caf\xE9 \xFF\x80");
  EXPECT_EQ(velmoria::base::utf8ToLatin1("\xE2\x82\xAC"), std::nullopt);  // euro sign is above U+00FF
  EXPECT_EQ(velmoria::base::utf8ToLatin1("\xE9"), std::nullopt);
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(velmoria::base::utf8ToLatin1(velmoria::base::latin1ToUTF8(all)), all);
}

TEST(Canonical, EquivalentSpellingsAreEqualAndHashAlike) {
  const std::string precomposed = "caf\xC3\xA9";
  const std::string decomposed = "cafe\xCC\x81";
  EXPECT_TRUE(velmoria::base::canonicallyEqual(precomposed, decomposed));
  EXPECT_EQ(velmoria::base::canonicalHash(precomposed), velmoria::base::canonicalHash(decomposed));
  EXPECT_EQ(velmoria::base::nfc(decomposed), precomposed);
  EXPECT_EQ(velmoria::base::canonicalCompare(precomposed, decomposed), std::strong_ordering::equal);
  // The Kelvin sign is canonically the ASCII letter K: no ASCII shortcut may hide that.
  EXPECT_TRUE(velmoria::base::canonicallyEqual("\xE2\x84\xAA", "K"));
  EXPECT_EQ(velmoria::base::canonicalHash("\xE2\x84\xAA"), velmoria::base::canonicalHash("K"));
  EXPECT_FALSE(velmoria::base::canonicallyEqual("e", precomposed));
}

TEST(Canonical, OrderIsScalarOrderOfTheNFCForms) {
  EXPECT_EQ(velmoria::base::canonicalCompare("a-b.com", "a.com"), std::strong_ordering::less);  // '-' < '.'
  EXPECT_EQ(velmoria::base::canonicalCompare("9.com", "a.com"), std::strong_ordering::less);
  EXPECT_EQ(velmoria::base::canonicalCompare("Z", "a"), std::strong_ordering::less);
  // U+00E9 sorts after "ez", although its decomposed spelling starts with 'e'.
  EXPECT_EQ(velmoria::base::canonicalCompare("e\xCC\x81", "ez"), std::strong_ordering::greater);
  EXPECT_EQ(velmoria::base::canonicalCompare("\xF0\x9F\x98\x80", "\xEF\xBF\xBD"), std::strong_ordering::greater);
}

TEST(CaseMapping, UsesFullLocaleIndependentMappings) {
  EXPECT_EQ(velmoria::base::lowercased("WWW.Example.COM"), "www.example.com");
  EXPECT_EQ(velmoria::base::lowercased("B\xC3\x9C"
                                       "CHER"),
            "b\xC3\xBC"
            "cher");
  EXPECT_EQ(velmoria::base::lowercased("\xC4\xB0"), "i\xCC\x87");  // capital I with dot: two scalars
  EXPECT_EQ(velmoria::base::lowercased("\xCE\xA3\xCE\x91"), "\xCF\x83\xCE\xB1");
  // No final-sigma context: every capital sigma becomes the ordinary small sigma.
  EXPECT_EQ(velmoria::base::lowercased("\xCE\x91\xCE\xA3"), "\xCE\xB1\xCF\x83");
  EXPECT_EQ(velmoria::base::lowercased("A\xE9\xC3\x89"), "a\xEF\xBF\xBD\xC3\xA9");  // ill-formed bytes are repaired
  EXPECT_EQ(velmoria::base::uppercased("stra\xC3\x9F"
                                       "e"),
            "STRASSE");
  EXPECT_EQ(velmoria::base::uppercased("abc-1"), "ABC-1");
}

TEST(Whitespace, TrimsWhiteSpaceScalarsOnly) {
  EXPECT_EQ(velmoria::base::trimmingWhitespace("  \t\r\n a b \n"), "a b");
  EXPECT_EQ(velmoria::base::trimmingWhitespace("\xC2\xA0\xE3\x80\x80x\xE2\x80\xA8\xC2\x85"),
            "x");  // NBSP, ideographic, LS, NEL
  EXPECT_EQ(velmoria::base::trimmingWhitespace(" \xE2\x80\x8Bx"),
            "\xE2\x80\x8Bx");  // zero width space is no White_Space
  EXPECT_EQ(velmoria::base::trimmingWhitespace(" \n "), "");
  EXPECT_EQ(velmoria::base::trimmingWhitespace(""), "");
}

TEST(Graphemes, ClustersAndTheirLetterNumberTests) {
  const auto clusters = velmoria::base::graphemeClusters(
      "e\xCC\x81"
      "1\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\r\n.");
  ASSERT_EQ(clusters.size(), 5u);
  EXPECT_EQ(clusters[0], "e\xCC\x81");
  EXPECT_EQ(clusters[2], "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");  // one flag
  EXPECT_EQ(clusters[3], "\r\n");
  EXPECT_TRUE(velmoria::base::isLetter(clusters[0]));
  EXPECT_TRUE(velmoria::base::isNumber(clusters[1]));
  EXPECT_FALSE(velmoria::base::isLetter(clusters[2]) || velmoria::base::isNumber(clusters[2]));
  EXPECT_TRUE(velmoria::base::isLetter("\xC3\xBC"));      // ü
  EXPECT_TRUE(velmoria::base::isLetter("\xE4\xB8\xAD"));  // a CJK ideograph
  EXPECT_TRUE(velmoria::base::isNumber("\xD9\xA3"));      // Arabic-Indic three
  EXPECT_TRUE(velmoria::base::isNumber("\xC2\xBD"));      // one half
  EXPECT_FALSE(velmoria::base::isLetter("@") || velmoria::base::isLetter("_") || velmoria::base::isLetter("-") ||
               velmoria::base::isLetter(""));
  EXPECT_EQ(velmoria::base::graphemeClusters("ab").size(), 2u);
  EXPECT_TRUE(velmoria::base::graphemeClusters("").empty());
}

}  // namespace
