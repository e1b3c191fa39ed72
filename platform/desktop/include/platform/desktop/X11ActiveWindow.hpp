#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/ProcessWorkspace.hpp"

namespace velmoria::platform::desktop {

// The process of the X11 window named by the root window's _NET_ACTIVE_WINDOW (through _NET_WM_PID).
// Without a display it answers nothing. The server tells it when the active window changes; until then
// (and for at most fifteen questions) it answers what it found last, without asking the server.
class X11ActiveWindow final : public ActiveWindowSource {
 public:
  X11ActiveWindow();
  ~X11ActiveWindow() override;
  std::optional<pid_t> activeWindowProcess() override;

 private:
  struct Connection;
  std::unique_ptr<Connection> x_;
  bool answered_ = false;
  std::uint32_t lastWindow_ = 0;
  std::optional<pid_t> lastPid_;
  int quietAnswers_ = 0;
};

}  // namespace velmoria::platform::desktop
