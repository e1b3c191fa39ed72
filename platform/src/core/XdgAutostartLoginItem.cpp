#include "base/XdgDirectories.hpp"
#include "platform/LoginItem.hpp"

#include "base/RegularFile.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/DesktopEntry.hpp"

#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace platform {
namespace {

std::filesystem::path defaultAutostartFolder() { return base::xdgConfigHome() / "autostart"; }

std::optional<std::filesystem::path> ownExecutable() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty() || !std::filesystem::exists(exe, ec)) return std::nullopt;
  return exe;
}

}  // namespace

std::string autostartEntryText(const std::filesystem::path& executable) {
  // Exec quoting: the path in double quotes, with " ` $ \ escaped by a backslash; then the
  // desktop-entry string escape doubles every backslash.
  std::string quoted = "\"";
  for (const char c : executable.string()) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string exec;
  for (const char c : quoted) {
    if (c == '\\') exec += '\\';
    exec += c;
  }
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=velmoria\n"
         "Exec=" +
         exec +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

XdgAutostartLoginItem::XdgAutostartLoginItem(std::optional<std::filesystem::path> autostartFolder,
                                             std::optional<std::filesystem::path> executable)
    : folder_(autostartFolder ? *autostartFolder : defaultAutostartFolder()),
      executable_(executable ? executable : ownExecutable()) {}

LoginItemStatus XdgAutostartLoginItem::status() {
  if (!executable_) return LoginItemStatus::notFound;
  std::optional<std::string> read;
  try {
    read = base::readRegularFile(entryFile(), kMaxDesktopEntryBytes);
  } catch (const std::system_error&) {
    return LoginItemStatus::notRegistered;  // something is there, but no entry of ours
  }
  if (!read) return LoginItemStatus::notRegistered;
  const std::string& text = *read;
  const auto entry = parseDesktopEntry(text);
  if (!entry) return LoginItemStatus::requiresApproval;
  if (entry->hidden || text.find("X-GNOME-Autostart-enabled=false") != std::string::npos) {
    return LoginItemStatus::requiresApproval;
  }
  return LoginItemStatus::enabled;
}

void XdgAutostartLoginItem::registerItem() {
  if (!executable_) throw LoginItemError("The application's own executable could not be found.");
  try {
    std::filesystem::create_directories(folder_);
    writeFileAtomically(entryFile(), autostartEntryText(*executable_), 0644);
  } catch (const std::exception& e) {
    throw LoginItemError(std::string("The autostart entry could not be written: ") + e.what());
  }
}

void XdgAutostartLoginItem::unregisterItem() {
  if (::unlink(entryFile().c_str()) != 0 && errno != ENOENT) {
    throw LoginItemError(std::string("The autostart entry could not be removed: ") + std::strerror(errno));
  }
}

}  // namespace platform
