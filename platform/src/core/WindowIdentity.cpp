#include "platform/WindowIdentity.hpp"

#include <string_view>

namespace velmoria::platform {
namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

WindowEntry entryForWindow(const TopLevelWindow& window, const std::map<std::string, DesktopEntry>& entries) {
  // Class first: a program run with another class keeps its own name as instance ("xterm" for UXTerm).
  for (const std::string* name : {&window.className, &window.instance}) {
    if (name->empty()) continue;
    for (const auto& [id, e] : entries) {
      if (!e.startupWMClass.empty() && sameIgnoringCase(e.startupWMClass, *name)) return {&e, true};
    }
  }
  for (const std::string* name : {&window.className, &window.instance}) {
    if (name->empty()) continue;
    for (const auto& [id, e] : entries) {
      if (sameIgnoringCase(id, *name)) return {&e, false};
    }
    // An entry in a subfolder by its file's own name too ("konsole" for kde/konsole.desktop).
    for (const auto& [id, e] : entries) {
      if (sameIgnoringCase(e.file.stem().string(), *name)) return {&e, false};
    }
  }
  return {};
}

}  // namespace velmoria::platform
