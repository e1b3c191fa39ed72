// Stored lists that cannot be read for a while (a full descriptor table, an I/O error): nothing the user
// stored is replaced, nothing crashes, and the screens and the filter go on once the file reads again.
#include <QCoreApplication>
#include <sstream>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "platform/LoginItem.hpp"
#include "velmoria/BrowserRedirector.hpp"
#include "velmoria/LoginItemManager.hpp"
#include "velmoria/MacBlocklistStore.hpp"
#include "velmoria/MacWebBlocklistStore.hpp"
#include "velmoria/TransparentProxyManager.hpp"

namespace velmoria {
namespace {

using platform::kAppGroupSuiteName;
using platform::kStandardSuiteName;

TEST(UnreadableDefaults, TheAppListIsNeverReplacedByWhatThisRunKnows) {
  platform::MemoryDefaultsSystem defaults;
  auto& standard = defaults.storage(kStandardSuiteName);
  standard.values["mac.blockedBundleIDs"] = nlohmann::json{"org.a", "org.b"};
  standard.failure = std::errc::io_error;

  MacBlocklistStore store(defaults);
  EXPECT_TRUE(store.blockedBundleIDs().empty());
  store.toggle("org.c");
  EXPECT_EQ(standard.writes, 0);
  EXPECT_EQ(standard.values["mac.blockedBundleIDs"], (nlohmann::json{"org.a", "org.b"}));

  standard.failure.reset();
  int changes = 0;
  QObject::connect(&store, &MacBlocklistStore::blockedBundleIDsChanged, [&] { ++changes; });
  store.toggle("org.d");
  EXPECT_EQ(standard.values["mac.blockedBundleIDs"], (nlohmann::json{"org.a", "org.b", "org.c", "org.d"}));
  EXPECT_EQ(store.blockedBundleIDs(), (std::set<std::string>{"org.a", "org.b", "org.c", "org.d"}));
  EXPECT_EQ(changes, 2) << "the toggle, then the entries read late";
}

TEST(UnreadableDefaults, TheSiteListIsNeverReplacedByWhatThisRunKnows) {
  platform::MemoryDefaultsSystem defaults;
  auto& group = defaults.storage(kAppGroupSuiteName);
  group.values["mac.blockedDomains"] = nlohmann::json{"b.com", "d.com"};
  group.failure = std::errc::too_many_files_open;

  MacWebBlocklistStore store(defaults);
  EXPECT_TRUE(store.domains().empty());
  EXPECT_TRUE(store.add("c.com"));
  EXPECT_EQ(group.writes, 0);

  group.failure.reset();
  EXPECT_TRUE(store.add("a.com"));
  EXPECT_EQ(group.values["mac.blockedDomains"], (nlohmann::json{"a.com", "b.com", "c.com", "d.com"}));
  EXPECT_FALSE(store.add("d.com")) << "entries read late count as listed";
}

TEST(UnreadableDefaults, AFailedSaveLeavesTheStoreUsable) {
  platform::MemoryDefaultsSystem defaults;
  MacWebBlocklistStore store(defaults);
  auto& group = defaults.storage(kAppGroupSuiteName);
  group.failure = std::errc::no_space_on_device;
  EXPECT_TRUE(store.add("a.com"));
  EXPECT_EQ(store.domains(), (std::vector<std::string>{"a.com"}));
  group.failure.reset();
  EXPECT_TRUE(store.add("b.com"));
  EXPECT_EQ(group.values["mac.blockedDomains"], (nlohmann::json{"a.com", "b.com"}));
}

TEST(UnreadableDefaults, TheFilterKeepsItsListWhileTheSharedOneCannotBeRead) {
  testing::app();
  platform::MemoryNetworkExtensionPreferences preferences;
  platform::FakeSystemExtensionManager extensions;
  platform::MemoryDefaultsSystem defaults;
  platform::CapturedLog log;
  defaults.storage(kAppGroupSuiteName).values["mac.blockedDomains"] = nlohmann::json{"a.com"};
  defaults.storage(kAppGroupSuiteName).failure = std::errc::io_error;
  TransparentProxyManager manager({preferences, extensions, defaults, log});
  const auto pump = [] {
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
  };
  pump();
  ASSERT_NE(extensions.lastDelegate(), nullptr);
  extensions.lastDelegate()->didFinishWithResult(0);
  pump();
  EXPECT_TRUE(preferences.saves.empty()) << "an empty list would let every site through";
  EXPECT_EQ(manager.state().kind, TransparentProxyManager::State::Kind::failed);
  EXPECT_NE(manager.state().failure.find("The blocked sites could not be read"), std::string::npos);

  defaults.storage(kAppGroupSuiteName).failure.reset();
  manager.setSessionActive(true);
  pump();
  ASSERT_EQ(preferences.saves.size(), 1u);
  EXPECT_EQ(preferences.saves[0].providerConfiguration->vendorConfiguration,
            (nlohmann::json{{"mac.blockedDomains", {"a.com"}}}));
}

TEST(UnreadableDefaults, TheRedirectorSkipsATickItCannotReadTheListFor) {
  testing::app();
  testsupport::ScratchFolder tmp;
  platform::MemoryDefaultsSystem defaults;
  platform::FakeWorkspace workspace;
  platform::FakeScriptRunner scripts;
  platform::ManualScheduler scheduler;
  workspace.frontmost = workspace.addApp("com.google.Chrome", "Google Chrome");
  const auto readTab = BrowserRedirector::readScript(BrowserRedirector::browsers().at("com.google.Chrome"));
  scripts.answers[readTab] = "https://a.com/";
  auto& group = defaults.storage(kAppGroupSuiteName);
  group.values["mac.blockedDomains"] = nlohmann::json{"a.com"};
  group.failure = std::errc::io_error;
  BrowserRedirector redirector(defaults, workspace, scripts, scheduler, [&] { return tmp.path(); });
  redirector.start();
  redirector.tick();
  EXPECT_TRUE(scripts.scripts.empty());
  group.failure.reset();
  redirector.tick();
  EXPECT_EQ(scripts.scripts.size(), 2u) << "read the tab, then point it at the block page";
  redirector.stop();
}

TEST(UnreadableDefaults, LoginRegistrationWaitsUntilItsMarkCanBeRead) {
  platform::MemoryDefaultsSystem defaults;
  defaults.storage(kStandardSuiteName).failure = std::errc::io_error;
  platform::FakeLoginItem item;
  std::ostringstream out;
  LoginItemManager manager(item, defaults, out);
  EXPECT_EQ(item.registerCalls, 0) << "the user may have switched it off at an earlier start";
  EXPECT_EQ(out.str().rfind("LoginItem auto-registration skipped: ", 0), 0u) << out.str();
}

}  // namespace
}  // namespace velmoria
