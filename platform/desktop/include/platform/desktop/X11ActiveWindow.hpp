#pragma once

#include "platform/ProcessWorkspace.hpp"

#include <memory>

namespace platform::desktop {

// The process of the X11 window named by the root window's _NET_ACTIVE_WINDOW (through _NET_WM_PID).
// Without a display it answers nothing.
class X11ActiveWindow final : public ActiveWindowSource {
 public:
  X11ActiveWindow();
  ~X11ActiveWindow() override;
  std::optional<pid_t> activeWindowProcess() override;

 private:
  struct Connection;
  std::unique_ptr<Connection> x_;
};

}  // namespace platform::desktop
