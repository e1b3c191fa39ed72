#include "platform/desktop/DesktopWorkspace.hpp"

#include "platform/desktop/X11ActiveWindow.hpp"

namespace velmoria::platform::desktop {

std::unique_ptr<ProcessWorkspace> makeDesktopWorkspace(MainScheduler& scheduler) {
  return std::make_unique<ProcessWorkspace>(scheduler, std::make_shared<ProcessScanner>(),
                                            std::make_unique<X11ActiveWindow>());
}

}  // namespace velmoria::platform::desktop
