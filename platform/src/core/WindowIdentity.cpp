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

// The name a dock knows the entry's file by besides its ID: the file's own name when the ID also carries
// the subfolders it lies in.
std::string_view fileName(const DesktopEntry& e) {
  const std::string stem = e.file.stem().string();
  if (stem.empty() || stem == e.id || e.id.size() <= stem.size()) return {};
  const std::string_view id(e.id);
  // Only as the ID's end after a folder's '-': an entry file named otherwise is no subfolder entry.
  if (id.substr(id.size() - stem.size()) != stem || id[id.size() - stem.size() - 1] != '-') return {};
  return id.substr(id.size() - stem.size());
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
    for (const auto& [id, e] : entries) {
      const auto file = fileName(e);
      if (!file.empty() && sameIgnoringCase(file, *name)) return {&e, false};
    }
  }
  return {};
}

}  // namespace velmoria::platform
