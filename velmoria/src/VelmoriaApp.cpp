#include "velmoria/VelmoriaApp.hpp"

#include "platform/InfoDictionary.hpp"
#include "platform/desktop/DesktopWorkspace.hpp"
#include "velmoria/ContentView.hpp"
#include "velmoria/LoginItemManager.hpp"
#include "velmoria/MacAppState.hpp"
#include "velmoria/MacBlocker.hpp"
#include "velmoria/MacBlocklistStore.hpp"
#include "velmoria/MacWebBlocklistStore.hpp"
#include "velmoria/TransparentProxyManager.hpp"

namespace velmoria {

VelmoriaApp::VelmoriaApp(std::shared_ptr<zirudeze::ZirudezeClient> client, std::optional<std::string> ownAppIdentifier)
    : workspace_(platform::desktop::makeDesktopWorkspace(scheduler_)),
      // Started with an information file of its own, the app registers a start at login with it too.
      loginItemService_(std::nullopt, std::nullopt, platform::InfoDictionary::namedFile()),
      delegate_(alerts_, windows_),
      application_(delegate_),
      // The one blocklist store exists before anything that uses it.
      blocklist_(std::make_unique<MacBlocklistStore>()) {
  // Then the objects in the order the window first reads them: the signed-in state, the blocker, the
  // login item (which may register itself on the first start), the filter manager (which asks for the
  // filter's activation at once) and the web-site list.
  app_ = std::make_unique<MacAppState>(client);
  blocker_ = std::make_unique<MacBlocker>(
      *blocklist_, std::move(ownAppIdentifier),
      MacBlocker::Services{*workspace_, shieldWindows_, scheduler_, platform::systemDefaults(), scripts_});
  loginItem_ = std::make_unique<LoginItemManager>(loginItemService_);
  proxy_ = std::make_unique<TransparentProxyManager>(TransparentProxyManager::Dependencies::system());
  webBlocklist_ = std::make_unique<MacWebBlocklistStore>();
  window_ = std::make_unique<ContentView>(
      AppEnvironment{*app_, *blocklist_, *blocker_, *loginItem_, *proxy_, *webBlocklist_, scheduler_}, client);
  application_.watchWindow(*window_);
}

VelmoriaApp::~VelmoriaApp() = default;

void VelmoriaApp::reopen() {
  application_.reopen();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

}  // namespace velmoria
