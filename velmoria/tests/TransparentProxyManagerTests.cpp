#include <QCoreApplication>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "velmoria/TransparentProxyManager.hpp"

namespace velmoria {
namespace {

using State = TransparentProxyManager::State;

constexpr const char* identifier = "com.tandrelkoss.kelvaton.velmoriaProxy";

void pump() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

class TransparentProxyManagerTest : public ::testing::Test {
 protected:
  platform::MemoryNetworkExtensionPreferences preferences;
  platform::FakeSystemExtensionManager extensions;
  platform::MemoryDefaultsSystem defaults;
  platform::CapturedLog log;
  std::unique_ptr<TransparentProxyManager> manager;

  void SetUp() override { testing::app(); }

  void setDomains(const std::vector<std::string>& domains) {
    defaults.suite("group.com.tandrelkoss.kelvaton")->setValue("mac.blockedDomains", domains);
  }

  TransparentProxyManager& create() {
    manager = std::make_unique<TransparentProxyManager>(
        TransparentProxyManager::Dependencies{preferences, extensions, defaults, log});
    return *manager;
  }

  void finishActivation(long result) {
    ASSERT_NE(extensions.lastDelegate(), nullptr);
    extensions.lastDelegate()->didFinishWithResult(result);
    pump();
  }

  static platform::FilterConfiguration storedWebFilter(bool enabled) {
    platform::FilterConfiguration configuration;
    configuration.enabled = enabled;
    configuration.localizedDescription = "old description";
    platform::FilterProviderConfiguration provider;
    provider.otherItems = nlohmann::json{{"organization", "kept"}};
    configuration.providerConfiguration = provider;
    configuration.otherItems = nlohmann::json{{"onDemand", false}};
    return configuration;
  }

  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& record : log.records()) {
      EXPECT_EQ(record.subsystem, "com.tandrelkoss.kelvaton");
      EXPECT_EQ(record.category, "filtermgr");
      out.push_back(record.message);
    }
    return out;
  }
};

TEST_F(TransparentProxyManagerTest, ConstructionActivatesAndLoadsOnTheEventLoop) {
  auto& created = create();
  ASSERT_EQ(extensions.requests().size(), 1u);
  EXPECT_EQ(extensions.requests()[0].identifier, identifier);
  EXPECT_EQ(messages(), std::vector<std::string>{"submitActivationRequest for com.tandrelkoss.kelvaton.velmoriaProxy"});
  EXPECT_EQ(preferences.loads, 0);
  EXPECT_EQ(created.state(), State::idle());
  pump();
  EXPECT_EQ(preferences.loads, 1);
  EXPECT_TRUE(preferences.saves.empty());  // nothing stored, nothing activated: no sync
  EXPECT_EQ(extensions.lastDelegate()->actionForReplacingExtension({}, {}), platform::ReplacementAction::replace);

  created.activateExtension();
  EXPECT_EQ(extensions.requests().size(), 2u);
}

TEST_F(TransparentProxyManagerTest, SessionFlagBeforeActivationIsUsedByTheFirstSync) {
  setDomains({"b.com", "a.com", "b.com"});
  preferences.transparentProxies = {{"old-1", {}}, {"old-2", {}}};
  auto& created = create();
  pump();
  created.setSessionActive(true);
  pump();
  EXPECT_TRUE(preferences.saves.empty());

  finishActivation(0);
  EXPECT_EQ(preferences.removals, (std::vector<std::string>{"old-1", "old-2"}));
  ASSERT_EQ(preferences.saves.size(), 1u);
  const auto& saved = preferences.saves[0];
  EXPECT_TRUE(saved.enabled);
  EXPECT_EQ(saved.localizedDescription, "velmoria Web Filter");
  ASSERT_TRUE(saved.providerConfiguration.has_value());
  EXPECT_TRUE(saved.providerConfiguration->filterSockets);
  EXPECT_FALSE(saved.providerConfiguration->filterPackets);
  // The list as stored: order and duplicates kept.
  EXPECT_EQ(saved.providerConfiguration->vendorConfiguration,
            (nlohmann::json{{"mac.blockedDomains", {"b.com", "a.com", "b.com"}}}));
  EXPECT_EQ(created.state(), State::running());
  EXPECT_TRUE(created.isConfigured());
  const auto lines = messages();
  EXPECT_EQ(lines.back(), "didFinishWithResult: 0");
}

TEST_F(TransparentProxyManagerTest, SyncsRunOneAfterAnotherAndReadTheFlagWhenTheyRun) {
  auto& created = create();
  pump();
  finishActivation(0);
  ASSERT_EQ(preferences.saves.size(), 1u);
  EXPECT_EQ(created.state(), State::ready());

  preferences.holdCompletions = true;
  created.setSessionActive(true);
  created.setSessionActive(false);
  created.setSessionActive(true);
  // One sync at a time: its load and save must complete before the next one starts.
  for (int sync = 0; sync < 3; ++sync) {
    pump();
    EXPECT_EQ(preferences.loads, 3 + sync);
    EXPECT_EQ(preferences.heldCompletions(), 1u);
    EXPECT_TRUE(preferences.completeNext());  // load
    pump();
    EXPECT_EQ(preferences.saves.size(), 2u + sync);
    EXPECT_EQ(preferences.loads, 3 + sync);
    EXPECT_TRUE(preferences.completeNext());  // save
  }
  pump();
  EXPECT_EQ(preferences.heldCompletions(), 0u);
  ASSERT_EQ(preferences.saves.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_TRUE(preferences.saves[i].enabled) << i;
  EXPECT_EQ(created.state(), State::running());
}

TEST_F(TransparentProxyManagerTest, LastFlagWinsWhenItChangesWhileASyncRuns) {
  auto& created = create();
  pump();
  finishActivation(0);
  preferences.holdCompletions = true;
  created.setSessionActive(true);
  pump();
  created.setSessionActive(false);  // before the first sync has read the flag
  while (preferences.completeNext()) pump();
  ASSERT_EQ(preferences.saves.size(), 3u);
  EXPECT_FALSE(preferences.saves[1].enabled);
  EXPECT_FALSE(preferences.saves[2].enabled);
  EXPECT_EQ(created.state(), State::ready());
}

TEST_F(TransparentProxyManagerTest, RebootPendingResultFailsWithoutSyncing) {
  auto& created = create();
  pump();
  preferences.transparentProxies = {{"old", {}}};
  finishActivation(1);
  EXPECT_EQ(created.state(), State::failed("Aktivierung erst nach Neustart abgeschlossen."));
  EXPECT_TRUE(preferences.removals.empty());
  EXPECT_TRUE(preferences.saves.empty());
  created.setSessionActive(true);
  pump();
  EXPECT_TRUE(preferences.saves.empty());
}

TEST_F(TransparentProxyManagerTest, UnknownResultCompletesLikeSuccess) {
  auto& created = create();
  pump();
  preferences.transparentProxies = {{"old", {}}};
  preferences.removalError = platform::NetworkExtensionError("NEFilterErrorDomain", 4, "cannot remove");
  finishActivation(7);
  EXPECT_EQ(preferences.removals, std::vector<std::string>{"old"});
  EXPECT_EQ(preferences.saves.size(), 1u);
  EXPECT_EQ(created.state(), State::ready());
}

TEST_F(TransparentProxyManagerTest, ApprovalAndFailureAnswersSetTheState) {
  auto& created = create();
  pump();
  int changes = 0;
  QObject::connect(&created, &TransparentProxyManager::stateChanged, [&] { ++changes; });
  extensions.lastDelegate()->requestNeedsUserApproval();
  EXPECT_EQ(created.state(), State::idle());  // answers take effect on the main loop
  pump();
  EXPECT_EQ(created.state(), State::needsApproval());

  extensions.lastDelegate()->didFailWithError({"OSSystemExtensionErrorDomain", 4, "Extension not found"});
  pump();
  EXPECT_EQ(created.state(), State::failed("Aktivierung fehlgeschlagen: Extension not found"));
  EXPECT_NE(created.state(), State::failed("Aktivierung fehlgeschlagen: other"));
  EXPECT_EQ(changes, 2);
  const auto lines = messages();
  EXPECT_EQ(lines[1], "requestNeedsUserApproval");
  EXPECT_EQ(lines[2], "didFailWithError: domain=OSSystemExtensionErrorDomain code=4 desc=Extension not found");
  EXPECT_EQ(log.records()[2].level, platform::LogLevel::error);
  EXPECT_TRUE(preferences.saves.empty());
}

TEST_F(TransparentProxyManagerTest, MissingListOrSuiteSavesAnEmptyArray) {
  auto& created = create();
  pump();
  finishActivation(0);
  EXPECT_EQ(preferences.saves.back().providerConfiguration->vendorConfiguration,
            (nlohmann::json{{"mac.blockedDomains", nlohmann::json::array()}}));

  defaults.suite("group.com.tandrelkoss.kelvaton")->setValue("mac.blockedDomains", nlohmann::json{"a.com", 5});
  created.setSessionActive(false);
  pump();
  EXPECT_EQ(preferences.saves.back().providerConfiguration->vendorConfiguration,
            (nlohmann::json{{"mac.blockedDomains", nlohmann::json::array()}}));

  defaults.unavailable.insert("group.com.tandrelkoss.kelvaton");
  EXPECT_TRUE(created.sharedBlockedDomains().empty());
}

TEST_F(TransparentProxyManagerTest, ConfigurationLeftEnabledShowsRunningThenFollowsTheSession) {
  preferences.stored = storedWebFilter(true);
  auto& created = create();
  std::vector<State> seen;
  QObject::connect(&created, &TransparentProxyManager::stateChanged, [&] { seen.push_back(created.state()); });
  pump();
  EXPECT_EQ(seen, (std::vector<State>{State::running(), State::ready()}));
  ASSERT_EQ(preferences.saves.size(), 1u);
  const auto& saved = preferences.saves[0];
  EXPECT_FALSE(saved.enabled);
  EXPECT_EQ(saved.localizedDescription, "velmoria Web Filter");
  EXPECT_EQ(saved.otherItems, (nlohmann::json{{"onDemand", false}}));
  EXPECT_EQ(saved.providerConfiguration->otherItems, (nlohmann::json{{"organization", "kept"}}));
}

TEST_F(TransparentProxyManagerTest, InitialLoadErrorIsOnlyLogged) {
  preferences.loadErrors.push_back({"NEFilterErrorDomain", 1, "damaged"});
  auto& created = create();
  pump();
  EXPECT_EQ(created.state(), State::idle());
  EXPECT_FALSE(created.isConfigured());
  EXPECT_EQ(messages().back(), "loadFromPreferences failed: damaged");
  EXPECT_EQ(log.records().back().level, platform::LogLevel::error);
  EXPECT_TRUE(preferences.saves.empty());
}

TEST_F(TransparentProxyManagerTest, SyncFailuresShowAndTheNextSyncCanClearThem) {
  auto& created = create();
  pump();
  preferences.loadErrors.push_back({"NEFilterErrorDomain", 6, "load broke"});
  finishActivation(0);
  EXPECT_EQ(created.state(), State::failed("Filter-Konfiguration fehlgeschlagen: load broke"));
  EXPECT_TRUE(created.isConfigured());

  preferences.saveErrors.push_back({"NEFilterErrorDomain", 5, "permission denied"});
  created.setSessionActive(true);
  pump();
  EXPECT_EQ(created.state(), State::failed("Filter-Konfiguration fehlgeschlagen: permission denied"));
  created.setSessionActive(true);
  pump();
  EXPECT_EQ(created.state(), State::running());
}

TEST_F(TransparentProxyManagerTest, AnswersArrivingAfterTheManagerIsGoneAreDropped) {
  create();
  pump();
  preferences.holdCompletions = true;
  extensions.lastDelegate()->didFinishWithResult(0);
  pump();
  manager.reset();
  EXPECT_EQ(extensions.lastDelegate(), nullptr);
  while (preferences.completeNext()) pump();
  pump();
  EXPECT_TRUE(preferences.saves.empty());
}

}  // namespace
}  // namespace velmoria
