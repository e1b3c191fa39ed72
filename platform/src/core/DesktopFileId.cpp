#include "platform/DesktopFileId.hpp"

#include <cstdlib>

#include "base/HexDigit.hpp"

namespace velmoria::platform {
namespace {

constexpr std::string_view kSuffix = ".desktop";

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::optional<std::string> idFromRelative(const std::filesystem::path& relative) {
  std::string joined;
  for (const auto& part : relative) {
    const std::string p = part.string();
    if (p.empty() || p == "." || p == "..") return std::nullopt;
    if (!joined.empty()) joined += '-';
    joined += p;
  }
  if (!endsWith(joined, kSuffix) || joined.size() == kSuffix.size()) return std::nullopt;
  joined.resize(joined.size() - kSuffix.size());
  return joined;
}

std::string systemdUnescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      const int hi = base::hexDigitValue(s[i + 2]);
      const int lo = base::hexDigitValue(s[i + 3]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

}  // namespace

std::optional<std::string> desktopFileId(const std::filesystem::path& applicationsFolder,
                                         const std::filesystem::path& entry) {
  const auto relative = entry.lexically_normal().lexically_relative(applicationsFolder.lexically_normal());
  if (relative.empty() || relative.is_absolute() || *relative.begin() == "..") return std::nullopt;
  return idFromRelative(relative);
}

std::optional<std::string> desktopFileIdFromEntryPath(const std::filesystem::path& entry) {
  const auto normal = entry.lexically_normal();
  std::filesystem::path below;
  bool found = false;
  for (const auto& part : normal) {
    if (part == "applications") {
      below.clear();
      found = true;
      continue;
    }
    if (found) below /= part;
  }
  if (found && !below.empty()) return idFromRelative(below);
  return idFromRelative(normal.filename());
}

std::optional<std::string> desktopFileIdFromCgroup(std::string_view line) {
  // Last path component of "0::/user.slice/.../app.slice/app-gnome-org.gnome.Terminal-1234.scope".
  if (const auto slash = line.rfind('/'); slash != std::string_view::npos) line = line.substr(slash + 1);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 4) != "app-") return std::nullopt;
  std::string_view body = line.substr(4);
  if (endsWith(body, ".scope")) {
    body.remove_suffix(6);
    const auto dash = body.rfind('-');
    if (dash == std::string_view::npos) return std::nullopt;
    body = body.substr(0, dash);
  } else if (endsWith(body, ".service")) {
    body.remove_suffix(8);
    if (const auto at = body.find('@'); at != std::string_view::npos) body = body.substr(0, at);
  } else {
    return std::nullopt;
  }
  // What is left is "<launcher>-<id>" or "<id>"; the id itself holds no raw "-".
  if (const auto dash = body.find('-'); dash != std::string_view::npos) body = body.substr(dash + 1);
  if (body.empty() || body.find('-') != std::string_view::npos) return std::nullopt;
  return systemdUnescape(body);
}

std::vector<std::filesystem::path> applicationFolders() {
  std::vector<std::filesystem::path> folders;
  const char* home = std::getenv("HOME");
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome == '/') {
    folders.emplace_back(std::filesystem::path(dataHome) / "applications");
  } else if (home && *home) {
    folders.emplace_back(std::filesystem::path(home) / ".local/share/applications");
  }
  const char* dirsEnv = std::getenv("XDG_DATA_DIRS");
  const std::string dirs = (dirsEnv && *dirsEnv) ? dirsEnv : "/usr/local/share:/usr/share";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const auto end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && dir.front() == '/') folders.emplace_back(std::filesystem::path(dir) / "applications");
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (home && *home)
    folders.emplace_back(std::filesystem::path(home) / ".local/share/flatpak/exports/share/applications");
  folders.emplace_back("/var/lib/flatpak/exports/share/applications");
  return folders;
}

}  // namespace velmoria::platform
