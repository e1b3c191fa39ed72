#pragma once

#include <memory>

#include "platform/MainScheduler.hpp"
#include "platform/ProcessWorkspace.hpp"

namespace velmoria::platform::desktop {

// The workspace the app runs with: /proc over the installed desktop entries, the X11 active window for
// the frontmost app, polled on the given main-thread scheduler.
std::unique_ptr<ProcessWorkspace> makeDesktopWorkspace(MainScheduler& scheduler);

}  // namespace velmoria::platform::desktop
