#include <random>

#include <gtest/gtest.h>

#include "velmoria_filter/DomainMatcher.hpp"

namespace velmoria::filter {
namespace {

TEST(NormalizeHostTest, TrimsLowerCasesAndStripsDotsAndOneWww) {
  EXPECT_EQ(normalizeHost("  WWW.Example.COM..\n"), "example.com");
  EXPECT_EQ(normalizeHost("www.www.example.com"), "www.example.com");
  EXPECT_EQ(normalizeHost("\t\xE2\x80\x83"
                          "example.com\xC2\xA0"),
            "example.com");  // em space, no-break space
  EXPECT_EQ(normalizeHost("B\xC3\x9C"
                          "CHER.DE"),
            "xn--bcher-kva.de");  // compared in the form server names travel in
  EXPECT_EQ(normalizeHost(".example.com"), ".example.com");
  // Trailing dots go before the "www." test, so a lone "www." stays "www".
  EXPECT_EQ(normalizeHost("www."), "www");
  EXPECT_EQ(normalizeHost("www.."), "www");
  EXPECT_EQ(normalizeHost("www.x"), "x");
  EXPECT_EQ(normalizeHost("..."), "");
  EXPECT_EQ(normalizeHost("wwwexample.com"), "wwwexample.com");
}

struct MatchCase {
  const char* host;
  bool blocked;
};

class MatcherTest : public ::testing::Test {
 protected:
  void expectBoth(const std::set<std::string>& domains, const std::vector<MatchCase>& cases) {
    const Blocklist compiled(domains);
    for (const auto& [host, blocked] : cases) {
      EXPECT_EQ(matchesBlocklist(host, domains), blocked) << host;
      EXPECT_EQ(compiled.matches(host), blocked) << host;
    }
  }
};

TEST_F(MatcherTest, BlocksTheDomainAndNamesBelowItOnly) {
  expectBoth({"a.com"}, {{"a.com", true},
                         {"x.a.com", true},
                         {"deep.x.a.com", true},
                         {"bba.com", false},
                         {"a.com.evil", false},
                         {"com", false},
                         {"xa.com", false}});
}

TEST_F(MatcherTest, EntriesAndHostsAreNormalisedBeforeComparing) {
  expectBoth({" WWW.Example.COM. "}, {{"example.com", true},
                                      {"a.example.com", true},
                                      {"WWW.EXAMPLE.COM.", true},
                                      {"www.example.com", true},
                                      {"badexample.com", false}});
}

TEST_F(MatcherTest, EmptyHostsAndEntriesNeverMatch) {
  expectBoth({"", "...", "  \n"}, {{"", false}, {"a.com", false}, {".", false}});
  expectBoth({"a.com"}, {{"", false}, {"  ", false}, {"..", false}});
  expectBoth({}, {{"a.com", false}});
}

TEST_F(MatcherTest, EntryWithLeadingDotMatchesOnlyItself) {
  // Leading dots are not stripped, so ".a.com" needs a host ending in "..a.com".
  expectBoth({".a.com"}, {{"x.a.com", false}, {"a.com", false}, {".a.com", true}, {"x..a.com", true}});
}

TEST_F(MatcherTest, OneMatchingEntryAmongManyIsEnough) {
  std::set<std::string> domains;
  for (int i = 0; i < 500; ++i) domains.insert("site" + std::to_string(i) + ".example");
  domains.insert("target.org");
  expectBoth(domains, {{"cdn.target.org", true}, {"site499.example", true}, {"site500.example", false}});
}

// The compiled list must give exactly the per-entry matcher's answers on any input.
TEST_F(MatcherTest, CompiledListAgreesWithThePerEntryMatcher) {
  std::mt19937 random(20261209);
  const std::vector<std::string> pieces{"a", "b", "com", "www", ".", "..", "A", "\xC3\x9C", " ", "x-y"};
  const auto randomName = [&] {
    std::string name;
    const auto parts = random() % 6;
    for (unsigned i = 0; i < parts; ++i) name += pieces[random() % pieces.size()];
    return name;
  };
  for (int round = 0; round < 300; ++round) {
    std::set<std::string> domains;
    for (int i = 0; i < 4; ++i) domains.insert(randomName());
    const Blocklist compiled(domains);
    for (int i = 0; i < 40; ++i) {
      const auto host = randomName();
      ASSERT_EQ(compiled.matches(host), matchesBlocklist(host, domains)) << "host '" << host << "'";
    }
  }
}

}  // namespace
}  // namespace velmoria::filter
