#include "localbackend/Modes.hpp"

#include <algorithm>
#include <cctype>

namespace velmoria::localbackend {
namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

const std::vector<Mode>& seededModes() {
  // Fixed ids, so a mode reads the same in every run and in every test.
  static const std::vector<Mode> modes{
      {"6f1d2c3a-8b4e-4f5a-9c6d-0e1f2a3b4c5d", "Deep Work", true},
      {"0a9b8c7d-6e5f-4a3b-8c2d-1e0f9a8b7c6d", "Reading", false},
  };
  return modes;
}

const Mode& defaultMode() { return seededModes().front(); }

const Mode* findMode(std::string_view nameOrID) {
  while (!nameOrID.empty() && std::isspace(static_cast<unsigned char>(nameOrID.front()))) nameOrID.remove_prefix(1);
  while (!nameOrID.empty() && std::isspace(static_cast<unsigned char>(nameOrID.back()))) nameOrID.remove_suffix(1);
  for (const auto& mode : seededModes()) {
    if (sameIgnoringCase(mode.name, nameOrID) || sameIgnoringCase(mode.id, nameOrID)) return &mode;
  }
  return nullptr;
}

std::string describeModes() {
  std::string text;
  for (const auto& mode : seededModes()) {
    if (!text.empty()) text += ", ";
    text += "\"" + mode.name + "\" (" + (mode.blockOnMac ? "blocks the desktop" : "does not block") + ")";
  }
  return text;
}

}  // namespace velmoria::localbackend
