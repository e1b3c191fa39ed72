// The manager's view of the filter's host, and the app and the daemon sharing one configuration file.
#include <QCoreApplication>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "velmoria/TransparentProxyManager.hpp"
#include "velmoria_filter/DaemonStatus.hpp"
#include "velmoria_filter/FilterDaemon.hpp"
#include "velmoria_filter/testing/FakeEnforcement.hpp"
#include "velmoria_filter/testing/RecordingLog.hpp"

namespace velmoria {
namespace {

using State = TransparentProxyManager::State;
using platform::ContentFilterRunState;

void pump() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

template <typename Condition>
bool pumpUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class FilterHostStateTest : public ::testing::Test {
 protected:
  platform::MemoryNetworkExtensionPreferences preferences;
  platform::FakeSystemExtensionManager extensions;
  platform::MemoryDefaultsSystem defaults;
  platform::CapturedLog log;
  platform::FakeContentFilterStatus status{ContentFilterRunState::idle};
  std::unique_ptr<TransparentProxyManager> manager;

  void SetUp() override { testing::app(); }

  TransparentProxyManager& create() {
    manager = std::make_unique<TransparentProxyManager>(
        TransparentProxyManager::Dependencies{preferences, extensions, defaults, log, &status});
    pump();
    extensions.lastDelegate()->didFinishWithResult(0);
    pump();
    return *manager;
  }
};

TEST_F(FilterHostStateTest, RunningOnlyWhileTheEnabledConfigurationIsEnforced) {
  auto& created = create();
  EXPECT_EQ(created.state(), State::ready());
  created.setSessionActive(true);
  pump();
  ASSERT_TRUE(preferences.saves.back().enabled);
  EXPECT_EQ(created.state(), State::ready());  // saved, but the daemon has not taken it up yet

  status.set(ContentFilterRunState::enforcing);
  pump();
  EXPECT_EQ(created.state(), State::running());
  status.set(ContentFilterRunState::notRunning);  // the daemon died
  pump();
  EXPECT_EQ(created.state(), State::ready());
  status.set(ContentFilterRunState::enforcing);
  pump();
  EXPECT_EQ(created.state(), State::running());

  // Disabled, an enforcing daemon (still on the old configuration) does not make it run.
  created.setSessionActive(false);
  pump();
  EXPECT_EQ(created.state(), State::ready());
  status.set(ContentFilterRunState::enforcing);
  pump();
  EXPECT_EQ(created.state(), State::ready());
}

TEST_F(FilterHostStateTest, AFailureOrPendingApprovalStaysShownWhateverTheDaemonDoes) {
  auto& created = create();
  extensions.lastDelegate()->requestNeedsUserApproval();
  pump();
  status.set(ContentFilterRunState::enforcing);
  pump();
  EXPECT_EQ(created.state(), State::needsApproval());

  preferences.saveErrors.push_back({"NEFilterErrorDomain", 5, "permission denied"});
  created.setSessionActive(true);
  pump();
  status.set(ContentFilterRunState::idle);
  pump();
  EXPECT_EQ(created.state(), State::failed("Filter-Konfiguration fehlgeschlagen: permission denied"));
}

TEST_F(FilterHostStateTest, AConfigurationLeftEnabledShowsRunningOnlyIfEnforced) {
  preferences.stored.enabled = true;
  preferences.stored.providerConfiguration = platform::FilterProviderConfiguration{};
  preferences.holdCompletions = true;
  manager = std::make_unique<TransparentProxyManager>(
      TransparentProxyManager::Dependencies{preferences, extensions, defaults, log, &status});
  pump();
  preferences.completeNext();  // the initial load
  pump();
  EXPECT_EQ(manager->state(), State::ready());
}

// The app writes the configuration with its own writer; the daemon reads it, follows it and reports
// back through the status file the app watches.
TEST(FilterConfigurationContractTest, TheDaemonFollowsWhatTheAppWrites) {
  testing::app();
  const testsupport::ScratchFolder folder;
  const auto file = folder.path() / "network-extension.json";
  platform::FileNetworkExtensionPreferences preferences(file);
  platform::FakeSystemExtensionManager extensions;
  platform::MemoryDefaultsSystem defaults;
  defaults.suite("group.com.tandrelkoss.kelvaton")
      ->setValue("mac.blockedDomains", std::vector<std::string>{"Blocked.Example", "b.com"});
  platform::CapturedLog log;
  platform::FileContentFilterStatus status(platform::contentFilterStatusFile(file));
  TransparentProxyManager manager({preferences, extensions, defaults, log, &status});

  auto filterLog = std::make_shared<filter::testing::RecordingLog>();
  filter::WebFilterProvider provider(filterLog);
  filter::testing::RecordingEnforcer enforcer;
  filter::DaemonStatusFile daemonStatus(file);
  filter::FilterDaemon daemon(
      provider, file,
      {enforcer, [] { return std::make_unique<filter::testing::QueuedPacketSource>(); }, filterLog, &daemonStatus, {}});

  pump();
  extensions.lastDelegate()->didFinishWithResult(0);
  manager.setSessionActive(true);
  ASSERT_TRUE(pumpUntil([&] { return filter::readFilterPreferences(file).enabled; }));
  const auto stored = filter::readFilterPreferences(file);
  ASSERT_TRUE(stored.providerConfiguration.has_value());
  daemon.reload();
  EXPECT_TRUE(daemon.isRunning());
  EXPECT_EQ(provider.blocklist(), (std::set<std::string>{"Blocked.Example", "b.com"}));
  EXPECT_TRUE(pumpUntil([&] { return manager.state() == State::running(); }));

  // A site added mid-session reaches the daemon with the next sync.
  defaults.suite("group.com.tandrelkoss.kelvaton")
      ->setValue("mac.blockedDomains", std::vector<std::string>{"Blocked.Example", "c.com"});
  manager.setSessionActive(true);
  ASSERT_TRUE(pumpUntil([&] {
    daemon.reload();
    return provider.blocklist().contains("c.com");
  }));

  manager.setSessionActive(false);
  ASSERT_TRUE(pumpUntil([&] { return !filter::readFilterPreferences(file).enabled; }));
  daemon.reload();
  EXPECT_FALSE(daemon.isRunning());
  EXPECT_TRUE(pumpUntil([&] { return manager.state() == State::ready(); }));
  EXPECT_EQ(status.current(), ContentFilterRunState::idle);
}

}  // namespace
}  // namespace velmoria
