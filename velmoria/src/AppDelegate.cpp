#include "velmoria/AppDelegate.hpp"

#include "velmoria/SessionGuard.hpp"

namespace velmoria {

platform::Alert AppDelegate::sessionActiveAlert() {
  platform::Alert alert;
  alert.messageText = "Focus session active";
  alert.informativeText =
      "Your apps stay blocked while a session is running. End the session from your iPhone to quit velmoria.";
  alert.style = platform::AlertStyle::warning;
  alert.buttons = {"OK"};
  return alert;
}

platform::TerminateReply AppDelegate::applicationShouldTerminate() {
  if (!SessionGuard::isLocked) return platform::TerminateReply::terminateNow;
  // The alert's own event loop takes further requests (a second SIGTERM, a logout): they are refused
  // under the alert already shown rather than stacking one more.
  if (alertShowing_) return platform::TerminateReply::terminateCancel;
  alertShowing_ = true;
  struct Shown {
    bool& showing;
    ~Shown() { showing = false; }
  } shown{alertShowing_};
  alerts_.runModal(sessionActiveAlert());
  return platform::TerminateReply::terminateCancel;
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
  if (!hasVisibleWindows) {
    const int count = windows_.count();
    for (int i = 0; i < count; ++i) windows_.makeKeyAndOrderFront(i);
  }
  return true;
}

}  // namespace velmoria
