#pragma once

#include <sys/types.h>

#include <map>
#include <string>

#include "platform/DesktopEntry.hpp"

namespace velmoria::platform {

// A top-level window as the window system describes it.
struct TopLevelWindow {
  pid_t pid = 0;          // the process it names (_NET_WM_PID); 0 when it names none
  std::string instance;   // WM_CLASS, first string
  std::string className;  // WM_CLASS, second string
  bool operator==(const TopLevelWindow&) const = default;
};

// The entry a window belongs to, as desktop docks find it.
struct WindowEntry {
  const DesktopEntry* entry = nullptr;  // null when no entry accounts for the window
  // Found through the entry's StartupWMClass, which names its windows on purpose; else through its ID,
  // a guess that another route's finding outweighs.
  bool byStartupWMClass = false;
};

// The window's WM_CLASS, class before instance, compared without regard to ASCII case: first against every
// entry's StartupWMClass; where none matches, against every entry's desktop-file ID as a whole
// ("org.gnome.Calculator", never its last dotted or dashed part) and, for an entry in a subfolder, its
// file's own name ("konsole" for kde/konsole.desktop). Among entries equal on all that, the first by ID.
WindowEntry entryForWindow(const TopLevelWindow& window, const std::map<std::string, DesktopEntry>& entries);

}  // namespace velmoria::platform
