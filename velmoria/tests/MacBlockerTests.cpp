#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "velmoria/MacBlocker.hpp"
#include "velmoria/SessionGuard.hpp"

using namespace std::chrono_literals;
using velmoria::platform::FakeWorkspace;

namespace {

class MacBlockerTest : public ::testing::Test {
 protected:
  MacBlockerTest() {
    velmoria::testing::app();
    blocker =
        std::make_unique<velmoria::MacBlocker>(store, std::string("velmoria"),
                                               velmoria::MacBlocker::Services{workspace, shields, scheduler, defaults,
                                                                              scripts, [this] { return tmp.path(); }});
  }
  void block(const std::string& id) {
    if (!store.contains(id)) store.toggle(id);
  }

  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::MacBlocklistStore store{defaults};
  FakeWorkspace workspace;
  velmoria::platform::desktop::FakeShieldWindowSystem shields;
  velmoria::platform::ManualScheduler scheduler;
  velmoria::platform::FakeScriptRunner scripts;
  std::unique_ptr<velmoria::MacBlocker> blocker;
};

TEST_F(MacBlockerTest, ActivateSweepsRunningAppsWithoutAShieldAndLaterLaunchesWithOne) {
  block("org.example.Game");
  auto running = workspace.addApp("org.example.Game", "Game");
  auto other = workspace.addApp("org.example.Editor", "Editor");

  blocker->activate();
  EXPECT_TRUE(blocker->isActive());
  EXPECT_TRUE(velmoria::SessionGuard::isLocked);
  EXPECT_TRUE(blocker->redirector().isRunning());
  EXPECT_EQ(running->terminateCalls, 1);
  EXPECT_EQ(other->terminateCalls, 0);
  EXPECT_EQ(shields.createdCount, 0);

  auto again = workspace.addApp("org.example.Game", "Game");
  workspace.launch(again);
  EXPECT_EQ(again->terminateCalls, 1);
  EXPECT_TRUE(blocker->overlay().isPresented());
  EXPECT_EQ(blocker->overlayModel().appName(), "Game");

  auto front = workspace.addApp("org.example.Game", std::nullopt);
  workspace.activate(front);
  EXPECT_EQ(front->terminateCalls, 1);
  EXPECT_EQ(blocker->overlayModel().appName(), "This app");
  EXPECT_EQ(shields.createdCount, 1);  // the shield already up only changes its text
  blocker->deactivate();
}

TEST_F(MacBlockerTest, NeverTerminatesItselfOrAppsWithoutIdentifier) {
  block("velmoria");
  auto self = workspace.addApp("velmoria", "velmoria");
  auto anonymous = workspace.addApp(std::nullopt, "Anon");
  blocker->activate();
  workspace.launch(self);
  workspace.activate(anonymous);
  workspace.post(velmoria::platform::WorkspaceNotification::didLaunchApplication, nullptr);
  EXPECT_EQ(self->terminateCalls, 0);
  EXPECT_EQ(anonymous->terminateCalls, 0);
  EXPECT_FALSE(blocker->overlay().isPresented());
  blocker->deactivate();
}

TEST_F(MacBlockerTest, RepeatedActivateAndDeactivateChangeNothing) {
  blocker->activate();
  blocker->activate();
  EXPECT_EQ(workspace.observerCount(), 2u);
  EXPECT_EQ(blocker->observerCount(), 2u);

  blocker->deactivate();
  EXPECT_FALSE(velmoria::SessionGuard::isLocked);
  EXPECT_EQ(workspace.observerCount(), 0u);
  EXPECT_FALSE(blocker->redirector().isRunning());

  // Inactive: a second deactivate dismisses nothing, a sweep and a launch terminate nothing.
  block("org.example.Game");
  blocker->overlay().show("Held");
  blocker->deactivate();
  EXPECT_TRUE(blocker->overlay().isPresented());
  auto game = workspace.addApp("org.example.Game", "Game");
  blocker->sweepRunningApps();
  workspace.launch(game);
  EXPECT_EQ(game->terminateCalls, 0);
  blocker->overlay().dismiss();
}

TEST_F(MacBlockerTest, BlocklistIsReadLiveAndDeactivateDismissesTheShield) {
  blocker->activate();
  auto game = workspace.addApp("org.example.Game", "Game");
  workspace.launch(game);
  EXPECT_EQ(game->terminateCalls, 0);

  block("org.example.Game");
  blocker->sweepRunningApps();  // the picker closing
  EXPECT_EQ(game->terminateCalls, 1);
  EXPECT_EQ(shields.createdCount, 0);

  workspace.launch(game);
  ASSERT_TRUE(blocker->overlay().isPresented());
  blocker->deactivate();
  EXPECT_FALSE(blocker->overlay().isPresented());
  EXPECT_EQ(blocker->overlay().windowCount(), 0u);
}

}  // namespace
