#pragma once

#include "platform/ApplicationDelegate.hpp"

namespace velmoria {

// Refuses to quit while a session blocks, keeps running when the last window closes, and brings the
// windows back on reopen.
class AppDelegate final : public platform::ApplicationDelegate {
 public:
  AppDelegate(platform::AlertPresenter& alerts, platform::WindowList& windows) : alerts_(alerts), windows_(windows) {}

  platform::TerminateReply applicationShouldTerminate() override;
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  bool applicationShouldHandleReopen(bool hasVisibleWindows) override;

  static platform::Alert sessionActiveAlert();

 private:
  platform::AlertPresenter& alerts_;
  platform::WindowList& windows_;
  bool alertShowing_ = false;
};

}  // namespace velmoria
