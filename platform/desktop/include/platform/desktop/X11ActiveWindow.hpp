#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ProcessWorkspace.hpp"

namespace velmoria::platform::desktop {

// What the X server tells of the windows, over one connection of its own. Without a display it answers
// nothing.
// - The active window's process: the window named by the root window's _NET_ACTIVE_WINDOW, through its
//   _NET_WM_PID. Until the server tells of a change (and for at most fifteen questions) it answers what it
//   found last, without asking the server.
// - The top-level windows: the window manager's _NET_CLIENT_LIST, or the root window's mapped children
//   (override-redirect ones aside) where no window manager keeps one, each with its WM_CLASS and
//   _NET_WM_PID; a window whose WM_CLIENT_MACHINE names another host names no process. Read in full at the
//   first question; after that only what the server's events say changed, so a question with no events
//   since the last one asks the server nothing.
class X11ActiveWindow final : public ActiveWindowSource {
 public:
  X11ActiveWindow();
  ~X11ActiveWindow() override;
  std::optional<pid_t> activeWindowProcess() override;
  std::optional<std::vector<TopLevelWindow>> topLevelWindowsIfChanged() override;
  std::optional<std::vector<TopLevelWindow>> topLevelWindows() override;
  // The bytes written to the X server so far: what the questions cost.
  std::uint64_t bytesSent() const;

 private:
  struct Connection;
  // Takes the events the server sent since the last call and notes what they changed.
  void takeEvents();
  // Reads the window list where it changed, and the windows that are new or changed (all with `fresh`).
  std::vector<TopLevelWindow> readWindows(bool fresh);
  std::unique_ptr<Connection> x_;
  bool answered_ = false;
  std::uint32_t lastWindow_ = 0;
  std::optional<pid_t> lastPid_;
  int quietAnswers_ = 0;
  std::optional<std::vector<TopLevelWindow>> lastWindows_;
};

}  // namespace velmoria::platform::desktop
