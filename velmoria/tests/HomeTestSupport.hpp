#pragma once

#include <memory>
#include <sstream>

#include "BackendTestSupport.hpp"
#include "platform/LoginItem.hpp"
#include "platform/NetworkExtensionPreferences.hpp"
#include "platform/SystemExtensionRequest.hpp"
#include "platform/SystemLog.hpp"
#include "velmoria/AppEnvironment.hpp"
#include "velmoria/LoginItemManager.hpp"
#include "velmoria/MacAppState.hpp"
#include "velmoria/MacBlocker.hpp"
#include "velmoria/MacBlocklistStore.hpp"
#include "velmoria/MacWebBlocklistStore.hpp"
#include "velmoria/TransparentProxyManager.hpp"

namespace velmoria::testing {

// The workspace with scripted apps, noting whether blocking was on at each look at the running apps.
class RecordingWorkspace final : public platform::Workspace {
 public:
  std::vector<std::shared_ptr<platform::RunningApplication>> runningApplications() override {
    sweeps.push_back(blocker != nullptr && blocker->isActive());
    return fake.runningApplications();
  }
  std::shared_ptr<platform::RunningApplication> frontmostApplication() override { return fake.frontmostApplication(); }
  platform::WorkspaceObserverToken addObserver(platform::WorkspaceNotification name, Handler handler) override {
    return fake.addObserver(name, std::move(handler));
  }
  void removeObserver(platform::WorkspaceObserverToken token) override { fake.removeObserver(token); }

  platform::FakeWorkspace fake;
  const MacBlocker* blocker = nullptr;
  std::vector<bool> sweeps;
};

// The app's long-lived objects over platform fakes and the fake backend, signed in or not.
class AppFixture : public BackendFixture {
 public:
  AppFixture() : client(makeClient()) { workspace.blocker = &blocker; }
  ~AppFixture() { blocker.deactivate(); }

  AppEnvironment environment() {
    return {appState, blocklist, blocker, loginItem, proxy, webBlocklist, scheduler, [] {
              return std::vector<AppMeta>{{"org.example.Game", "Game", "/a/game.desktop", ""},
                                          {"org.example.Editor", "Editor", "/a/editor.desktop", ""}};
            }};
  }

  std::shared_ptr<zirudeze::ZirudezeClient> client;
  platform::MemoryDefaultsSystem defaults;
  // As after the first start: the login item registers itself only then.
  const bool autoRegistered = [this] {
    defaults.standard()->setValue(LoginItemManager::autoRegisteredKey, true);
    return true;
  }();
  RecordingWorkspace workspace;
  platform::desktop::FakeShieldWindowSystem shields;
  platform::ManualScheduler scheduler;
  platform::FakeScriptRunner scripts;
  platform::FakeLoginItem loginService;
  std::ostringstream loginOutput;
  platform::MemoryNetworkExtensionPreferences preferences;
  platform::FakeSystemExtensionManager extensions;
  platform::CapturedLog log;
  testsupport::ScratchFolder temporary;

  MacAppState appState{client};
  MacBlocklistStore blocklist{defaults};
  MacBlocker blocker{
      blocklist, std::string("velmoria"),
      MacBlocker::Services{workspace, shields, scheduler, defaults, scripts, [this] { return temporary.path(); }}};
  LoginItemManager loginItem{loginService, defaults, loginOutput};
  TransparentProxyManager proxy{TransparentProxyManager::Dependencies{preferences, extensions, defaults, log}};
  MacWebBlocklistStore webBlocklist{defaults};
};

}  // namespace velmoria::testing
