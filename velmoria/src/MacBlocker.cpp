#include "velmoria/MacBlocker.hpp"

#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include "base/Check.hpp"
#include "platform/BlockingTrace.hpp"
#include "velmoria/SessionGuard.hpp"

namespace velmoria {

MacBlocker::MacBlocker(MacBlocklistStore& blocklist, std::optional<std::string> ownBundleID, Services services,
                       QObject* parent)
    : QObject(parent),
      blocklist_(blocklist),
      ownBundleID_(std::move(ownBundleID)),
      model_(std::make_unique<OverlayModel>()),
      overlay_(std::make_unique<BlockingOverlayController>(*model_, services.shieldWindows, services.scheduler)),
      redirector_(std::make_unique<BrowserRedirector>(services.defaults, services.workspace, services.scripts,
                                                      services.scheduler, std::move(services.temporaryDirectory))),
      workspace_(services.workspace) {}

MacBlocker::~MacBlocker() = default;

void MacBlocker::activate() {
  if (isActive_) return;
  isActive_ = true;
  Q_EMIT isActiveChanged(true);
  SessionGuard::isLocked = true;
  redirector_->start();

  QPointer<MacBlocker> self(this);
  const auto handler = [self](const std::shared_ptr<platform::RunningApplication>& app) {
    if (auto* app_ = QCoreApplication::instance(); app_ != nullptr && QThread::currentThread() != app_->thread()) {
      base::fatalError("MacBlocker: workspace notification off the main thread");
    }
    if (!self || !app) return;
    self->enforce(*app, /*showShield=*/true);
  };
  observers_.push_back(workspace_.addObserver(platform::WorkspaceNotification::didLaunchApplication, handler));
  observers_.push_back(workspace_.addObserver(platform::WorkspaceNotification::didActivateApplication, handler));
  platform::blockingtrace::write("blocking on");
  sweepRunningApps();
}

void MacBlocker::deactivate() {
  if (!isActive_) return;
  isActive_ = false;
  Q_EMIT isActiveChanged(false);
  SessionGuard::isLocked = false;
  platform::blockingtrace::write("blocking off");
  redirector_->stop();
  for (const auto token : observers_) workspace_.removeObserver(token);
  observers_.clear();
  overlay_->dismiss();
}

void MacBlocker::sweepRunningApps() {
  if (!isActive_) return;
  for (const auto& app : workspace_.runningApplications()) {
    if (app) enforce(*app, /*showShield=*/false);
  }
}

void MacBlocker::enforce(platform::RunningApplication& app, bool showShield) {
  const auto bundleID = app.bundleIdentifier();
  if (!bundleID) return;
  if (ownBundleID_ && *ownBundleID_ == *bundleID) return;
  if (app.processIdentifier() == ::getpid()) return;
  if (!blocklist_.contains(*bundleID)) return;  // read live: picker changes count at once
  const QString name = QString::fromStdString(app.localizedName().value_or("This app"));
  app.forceTerminate();
  if (showShield) overlay_->show(name);
}

}  // namespace velmoria
