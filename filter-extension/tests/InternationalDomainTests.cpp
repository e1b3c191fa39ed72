#include <gtest/gtest.h>

#include "velmoria_filter/DomainMatcher.hpp"

namespace velmoria::filter {
namespace {

TEST(InternationalDomains, AnEntryWithOtherLettersBlocksItsServerName) {
  const std::set<std::string> list{"bücher.de", "www.пример.рф"};
  const Blocklist blocklist(list);
  for (const std::string host :
       {"xn--bcher-kva.de", "shop.xn--bcher-kva.de", "XN--BCHER-KVA.DE.", "xn--e1afmkfd.xn--p1ai"}) {
    EXPECT_TRUE(blocklist.matches(host)) << host;
    EXPECT_TRUE(matchesBlocklist(host, list)) << host;
  }
  EXPECT_FALSE(blocklist.matches("xn--bcher-kva.com"));
  EXPECT_FALSE(blocklist.matches("bcher.de"));
  EXPECT_EQ(blocklist.entries(), list) << "the list stays as written";
}

TEST(InternationalDomains, AHostWithOtherLettersMatchesAnEntryInEitherForm) {
  const Blocklist punycode(std::set<std::string>{"xn--bcher-kva.de"});
  EXPECT_TRUE(punycode.matches("bücher.de"));
  EXPECT_TRUE(punycode.matches("Www.BÜCHER.de"));
  const Blocklist unicode(std::set<std::string>{"BÜCHER.de"});
  EXPECT_TRUE(unicode.matches("bücher.de"));
  EXPECT_EQ(normalizeHost(" www.Bücher.de. "), "xn--bcher-kva.de");
}

TEST(InternationalDomains, AnEntryWithoutAnASCIIFormBlocksOnlyItsOwnSpelling) {
  const Blocklist blocklist(std::set<std::string>{"a..bücher.de"});
  EXPECT_FALSE(blocklist.matches("xn--bcher-kva.de"));
  EXPECT_TRUE(blocklist.matches("a..bücher.de"));
}

}  // namespace
}  // namespace velmoria::filter
