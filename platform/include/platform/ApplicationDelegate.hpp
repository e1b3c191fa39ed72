#pragma once

#include <string>
#include <vector>

namespace velmoria::platform {

enum class TerminateReply { terminateNow, terminateCancel };

// What the application object asks the app before it ends or when it is launched again.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual TerminateReply applicationShouldTerminate() = 0;
  virtual bool applicationShouldTerminateAfterLastWindowClosed() = 0;
  virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
};

enum class AlertStyle { warning, informational, critical };

struct Alert {
  std::string messageText;
  std::string informativeText;
  AlertStyle style = AlertStyle::warning;
  std::vector<std::string> buttons;
};

// Shows an alert and waits for a button; answers the index of the button pressed.
class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  virtual int runModal(const Alert& alert) = 0;
};

class FakeAlertPresenter final : public AlertPresenter {
 public:
  int runModal(const Alert& alert) override {
    shown.push_back(alert);
    return 0;
  }
  std::vector<Alert> shown;
};

// The app's windows as the reopen path sees them.
class WindowList {
 public:
  virtual ~WindowList() = default;
  virtual int count() const = 0;
  virtual void makeKeyAndOrderFront(int index) = 0;
};

}  // namespace velmoria::platform
