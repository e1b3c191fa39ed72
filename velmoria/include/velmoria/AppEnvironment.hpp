#pragma once

#include "platform/MainScheduler.hpp"
#include "velmoria/AppPickerViewModel.hpp"

namespace velmoria {

class LoginItemManager;
class MacAppState;
class MacBlocker;
class MacBlocklistStore;
class MacWebBlocklistStore;
class TransparentProxyManager;

// The app's long-lived objects as the window's screens use them, and the main-thread timers they run on.
struct AppEnvironment {
  MacAppState& app;
  MacBlocklistStore& blocklist;
  MacBlocker& blocker;
  LoginItemManager& loginItem;
  TransparentProxyManager& proxy;
  MacWebBlocklistStore& webBlocklist;
  platform::MainScheduler& scheduler;
  // What the app picker lists; empty for the installed applications.
  AppPickerViewModel::Scanner appScanner = {};
};

}  // namespace velmoria
