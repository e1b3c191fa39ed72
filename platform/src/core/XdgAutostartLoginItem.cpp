#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "base/RegularFile.hpp"
#include "base/XdgDirectories.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/DesktopEntry.hpp"
#include "platform/InfoDictionary.hpp"
#include "platform/LoginItem.hpp"

namespace velmoria::platform {
namespace {

std::filesystem::path defaultAutostartFolder() { return base::xdgConfigHome() / "autostart"; }

std::optional<std::filesystem::path> ownExecutable() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty() || !std::filesystem::exists(exe, ec)) return std::nullopt;
  return exe;
}

// Exec quoting: the word in double quotes, with " ` $ \ escaped by a backslash; then the desktop-entry
// string escape doubles every backslash.
std::string execWord(const std::string& word) {
  std::string quoted = "\"";
  for (const char c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';  // a literal percent sign is doubled
    quoted += c;
  }
  quoted += '"';
  std::string escaped;
  for (const char c : quoted) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::string autostartEntryText(const std::filesystem::path& executable,
                               const std::optional<std::filesystem::path>& info) {
  std::string exec;
  if (info) exec = "env " + execWord("VELMORIA_INFO=" + info->string()) + ' ';
  exec += execWord(executable.string());
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
                                             std::optional<std::filesystem::path> executable,
                                             std::optional<std::filesystem::path> namedInfo,
                                             std::optional<std::filesystem::path> lastingInfo)
    : folder_(autostartFolder ? *autostartFolder : defaultAutostartFolder()),
      executable_(executable ? executable : ownExecutable()),
      namedInfo_(std::move(namedInfo)),
      lastingInfo_(lastingInfo ? *lastingInfo : base::xdgConfigHome() / "velmoria" / "Info.json") {}

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
  std::optional<std::filesystem::path> info;
  if (namedInfo_) {
    try {
      InfoDictionary::load(*namedInfo_);  // an unusable file would only fail at the next login
      const auto text = base::readRegularFile(*namedInfo_, kMaxInfoBytes);
      if (!text) throw InfoDictionaryError(namedInfo_->string() + ": no such file");
      std::filesystem::create_directories(lastingInfo_.parent_path());
      writeFileAtomically(lastingInfo_, *text, 0600);
    } catch (const std::exception& e) {
      throw LoginItemError("Start at login needs the configuration VELMORIA_INFO names kept in " +
                           lastingInfo_.string() + ", which failed: " + e.what());
    }
    info = lastingInfo_;
  }
  try {
    std::filesystem::create_directories(folder_);
    writeFileAtomically(entryFile(), autostartEntryText(*executable_, info), 0644);
  } catch (const std::exception& e) {
    throw LoginItemError(std::string("The autostart entry could not be written: ") + e.what());
  }
}

void XdgAutostartLoginItem::unregisterItem() {
  if (::unlink(entryFile().c_str()) != 0 && errno != ENOENT) {
    throw LoginItemError(std::string("The autostart entry could not be removed: ") + std::strerror(errno));
  }
}

}  // namespace velmoria::platform
