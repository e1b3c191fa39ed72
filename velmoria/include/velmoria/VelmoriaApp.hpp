#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/LoginItem.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "platform/ScriptRunner.hpp"
#include "platform/desktop/Application.hpp"
#include "platform/desktop/QtScheduler.hpp"
#include "platform/desktop/ShieldWindows.hpp"
#include "velmoria/AppDelegate.hpp"
#include "velmoria/ApplicationActivity.hpp"
#include "velmoria/ScreenPalette.hpp"
#include "zirudeze/ZirudezeClient.hpp"

namespace velmoria {

class ContentView;
class LoginItemManager;
class MacAppState;
class MacBlocker;
class MacBlocklistStore;
class MacWebBlocklistStore;
class TransparentProxyManager;

// The running app: its delegate, the long-lived objects of the session, blocking and filter, and the one
// window. Needs a QApplication; lives until the process ends.
class VelmoriaApp {
 public:
  VelmoriaApp(std::shared_ptr<zirudeze::ZirudezeClient> client, std::optional<std::string> ownAppIdentifier);
  ~VelmoriaApp();
  VelmoriaApp(const VelmoriaApp&) = delete;
  VelmoriaApp& operator=(const VelmoriaApp&) = delete;

  ContentView& window() { return *window_; }
  platform::desktop::Application& application() { return application_; }
  // A later launch asked for the app: its window comes back and to the front.
  void reopen();

 private:
  platform::desktop::QtScheduler scheduler_;
  std::unique_ptr<platform::ProcessWorkspace> workspace_;
  platform::desktop::QtShieldWindowSystem shieldWindows_;
  platform::UnavailableScriptRunner scripts_;
  platform::XdgAutostartLoginItem loginItemService_;
  platform::desktop::QtAlertPresenter alerts_;
  platform::desktop::QtWindowList windows_;
  ActiveLookEverywhere activeLook_;

  AppDelegate delegate_;
  platform::desktop::Application application_;
  ApplicationActivity activity_;
  std::unique_ptr<MacBlocklistStore> blocklist_;
  std::unique_ptr<MacAppState> app_;
  std::unique_ptr<MacBlocker> blocker_;
  std::unique_ptr<LoginItemManager> loginItem_;
  std::unique_ptr<TransparentProxyManager> proxy_;
  std::unique_ptr<MacWebBlocklistStore> webBlocklist_;
  std::unique_ptr<ContentView> window_;
};

}  // namespace velmoria
