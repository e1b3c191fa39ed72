#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Workspace.hpp"
#include "velmoria/BlockingOverlayController.hpp"
#include "velmoria/BrowserRedirector.hpp"
#include "velmoria/MacBlocklistStore.hpp"
#include "velmoria/OverlayModel.hpp"

namespace velmoria {

// Turns app and web blocking on and off: while active, blocked apps are terminated as they run, launch
// or come to the front, the shield names them, browser tabs are redirected and the app refuses to quit.
class MacBlocker : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)

 public:
  // What the blocker works through; the blocker owns its shield controller and redirector.
  struct Services {
    platform::Workspace& workspace;
    platform::desktop::ShieldWindowSystem& shieldWindows;
    platform::MainScheduler& scheduler;
    platform::DefaultsSystem& defaults;
    platform::ScriptRunner& scripts;
    BrowserRedirector::TemporaryDirectory temporaryDirectory = {};
  };

  MacBlocker(MacBlocklistStore& blocklist, std::optional<std::string> ownBundleID, Services services,
             QObject* parent = nullptr);
  ~MacBlocker() override;

  void activate();
  void deactivate();
  // Terminates every running blocked app now, without a shield; nothing while inactive.
  void sweepRunningApps();

  bool isActive() const { return isActive_; }
  std::size_t observerCount() const { return observers_.size(); }
  BlockingOverlayController& overlay() { return *overlay_; }
  BrowserRedirector& redirector() { return *redirector_; }
  OverlayModel& overlayModel() { return *model_; }

 Q_SIGNALS:
  void isActiveChanged(bool active);

 private:
  void enforce(platform::RunningApplication& app, bool showShield);

  bool isActive_ = false;
  MacBlocklistStore& blocklist_;
  std::vector<platform::WorkspaceObserverToken> observers_;
  std::optional<std::string> ownBundleID_;
  std::unique_ptr<OverlayModel> model_;
  std::unique_ptr<BlockingOverlayController> overlay_;
  std::unique_ptr<BrowserRedirector> redirector_;
  platform::Workspace& workspace_;
};

}  // namespace velmoria
