#include <gtest/gtest.h>

#include "platform/MemoryDefaults.hpp"
#include "testsupport/ScratchFolder.hpp"
#include "velmoria/MacBlocklistStore.hpp"
#include "velmoria/MacWebBlocklistStore.hpp"

using velmoria::MacBlocklistStore;
using velmoria::MacWebBlocklistStore;

namespace {

std::optional<std::string> norm(std::string_view s) { return MacWebBlocklistStore::normalizeDomain(s); }

TEST(NormalizeDomain, ReducesAddressesToTheBareLowerCaseHost) {
  EXPECT_EQ(norm("  HTTPS://www.Example.com:8080/a?b#c "), "example.com");
  EXPECT_EQ(norm("\t\nnews.example.org/\u2003"), "news.example.org");
  EXPECT_EQ(norm("example.com#frag"), "example.com");
  EXPECT_EQ(norm("ftp://a.b?x"), "a.b");
  EXPECT_EQ(norm("a.com..."), "a.com");
  EXPECT_EQ(norm("a.com."), "a.com");
  EXPECT_EQ(norm("www.www.a.com"), "www.a.com");
  EXPECT_EQ(norm("a://b.com://c"), "b.com");  // only the first "://" counts
}

TEST(NormalizeDomain, RejectsTextThatNamesNoHost) {
  for (const char* bad : {"", "   ", "word", "https://", "www.", "a@b.com", "a_b.com", "exa mple.com", "http://www.",
                          "...", "localhost:8080"}) {
    EXPECT_FALSE(norm(bad).has_value()) << bad;
  }
}

TEST(NormalizeDomain, KeepsUnicodeLettersAndLowersThemFully) {
  EXPECT_EQ(norm("bücher.de"), "bücher.de");
  EXPECT_EQ(norm("BÜCHER.DE"), "bücher.de");
  EXPECT_EQ(norm("ΑΘΗΝΑ.gr"), "αθηνα.gr");
  EXPECT_EQ(norm("a-1.-b.com"), "a-1.-b.com");
  EXPECT_EQ(norm(".a..b"), ".a..b");
  EXPECT_EQ(norm("١٢٣.com"), "١٢٣.com");           // Arabic-Indic digits are numbers
  EXPECT_FALSE(norm("a\u00A0b.com").has_value());  // a no-break space inside is not a host character
}

class WebStoreTest : public ::testing::Test {
 protected:
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::platform::MemoryDefaultsSystem::Storage& group() {
    return defaults.storage(velmoria::platform::kAppGroupSuiteName);
  }
};

TEST_F(WebStoreTest, LoadsSortedAndWritesNothingAtStart) {
  group().values["mac.blockedDomains"] = nlohmann::json{"b.com", "a-b.com", "a.com", "1.com"};
  MacWebBlocklistStore store(defaults);
  EXPECT_EQ(store.domains(), (std::vector<std::string>{"1.com", "a-b.com", "a.com", "b.com"}));
  EXPECT_EQ(group().writes, 0);
}

TEST_F(WebStoreTest, AddKeepsTheListSortedAndRefusesDuplicates) {
  MacWebBlocklistStore store(defaults);
  EXPECT_TRUE(store.add("b.com"));
  EXPECT_TRUE(store.add("https://A.com/x"));
  EXPECT_EQ(store.domains(), (std::vector<std::string>{"a.com", "b.com"}));
  EXPECT_EQ(group().values["mac.blockedDomains"], (nlohmann::json{"a.com", "b.com"}));
  const int writes = group().writes;
  EXPECT_FALSE(store.add("B.COM"));
  EXPECT_FALSE(store.add("not a domain"));
  EXPECT_EQ(group().writes, writes);
}

TEST_F(WebStoreTest, CanonicallyEquivalentSpellingsAreOneDomain) {
  MacWebBlocklistStore store(defaults);
  EXPECT_TRUE(store.add("caf\u00e9.fr"));
  EXPECT_FALSE(store.add("cafe\u0301.fr"));
  EXPECT_EQ(store.domains().size(), 1u);
}

TEST_F(WebStoreTest, DamagedValueReadsAsEmptyAndRemovalIsSavedByTheCaller) {
  group().values["mac.blockedDomains"] = "not a list";
  MacWebBlocklistStore damaged(defaults);
  EXPECT_TRUE(damaged.domains().empty());

  group().values["mac.blockedDomains"] = nlohmann::json{"a.com", "b.com", "c.com"};
  MacWebBlocklistStore store(defaults);
  int changes = 0;
  QObject::connect(&store, &MacWebBlocklistStore::domainsChanged, [&] { ++changes; });
  auto list = store.domains();
  list.erase(list.begin() + 1);
  store.setDomains(list);
  store.save();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(group().values["mac.blockedDomains"], (nlohmann::json{"a.com", "c.com"}));
}

TEST_F(WebStoreTest, FallsBackToTheStandardSuiteWhenTheGroupCannotOpen) {
  defaults.unavailable.insert(velmoria::platform::kAppGroupSuiteName);
  MacWebBlocklistStore store(defaults);
  EXPECT_TRUE(store.add("a.com"));
  EXPECT_EQ(defaults.storage(velmoria::platform::kStandardSuiteName).values["mac.blockedDomains"],
            (nlohmann::json{"a.com"}));
}

TEST(AppStore, ToggleTwiceLeavesTheSetAndTheStoredArrayWithoutIt) {
  velmoria::platform::MemoryDefaultsSystem defaults;
  auto& standard = defaults.storage(velmoria::platform::kStandardSuiteName);
  standard.values["mac.blockedBundleIDs"] = nlohmann::json{"org.x.A", "org.x.A", "org.x.B"};
  MacBlocklistStore store(defaults);
  EXPECT_EQ(store.blockedBundleIDs(), (std::set<std::string>{"org.x.A", "org.x.B"}));

  store.toggle("org.x.C");
  EXPECT_TRUE(store.contains("org.x.C"));
  EXPECT_EQ(standard.values["mac.blockedBundleIDs"], (nlohmann::json{"org.x.A", "org.x.B", "org.x.C"}));
  store.toggle("org.x.C");
  EXPECT_FALSE(store.contains("org.x.C"));
  EXPECT_EQ(standard.values["mac.blockedBundleIDs"], (nlohmann::json{"org.x.A", "org.x.B"}));
  EXPECT_EQ(standard.writes, 2);
}

TEST(AppStore, PersistsThroughRealDefaultsFiles) {
  const velmoria::testsupport::ScratchFolder folder{"velmoria-store"};
  const std::string dir = folder.path().string();
  {
    velmoria::platform::FileDefaultsSystem files(dir);
    MacBlocklistStore store(files);
    store.toggle("org.gnome.Terminal");
    MacWebBlocklistStore web(files);
    web.add("Example.com");
  }
  velmoria::platform::FileDefaultsSystem files(dir);
  EXPECT_TRUE(MacBlocklistStore(files).contains("org.gnome.Terminal"));
  EXPECT_EQ(MacWebBlocklistStore(files).domains(), (std::vector<std::string>{"example.com"}));
}

}  // namespace
