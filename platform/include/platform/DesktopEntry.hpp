#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ExecCommand.hpp"

namespace velmoria::platform {

// The keys of a ".desktop" file's [Desktop Entry] group that identify and name an app.
struct DesktopEntry {
  std::string id;  // desktop-file ID without ".desktop" (see DesktopFileId.hpp)
  std::filesystem::path file;
  std::string type;
  std::map<std::string, std::string> names;  // "" for Name, "de" for Name[de], ...
  std::string exec;
  std::string tryExec;
  std::string startupWMClass;
  std::string icon;
  bool hidden = false;
  bool noDisplay = false;

  // Name[ll_CC], then Name[ll], then Name, for a locale such as "de_DE.UTF-8@euro"; nothing without any.
  std::optional<std::string> localizedName(std::string_view locale) const;
};

// Parses the text of an entry; nothing when it has no [Desktop Entry] group.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

// Entries are small; anything larger is not read.
inline constexpr std::size_t kMaxDesktopEntryBytes = 1u << 20;
// Reads and parses the entry in a file of the application folders: nothing when it is not a regular file
// (a FIFO or device named "*.desktop" is never opened for reading), is over kMaxDesktopEntryBytes,
// cannot be read, or has no [Desktop Entry] group. Sets no `id` or `file`.
std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file);

// The messages locale of this process (LC_ALL, LC_MESSAGES, LANG; "C" when none is set).
std::string messagesLocale();

// What one walk of the application folders found.
struct DesktopEntryScan {
  // The apps, one per desktop-file ID, in walk order, each with `id` and `file` set; NoDisplay entries are
  // here too (they run like any other app).
  std::vector<DesktopEntry> entries;
  // Every folder the walk went through: the given ones that exist and their subfolders.
  std::vector<std::filesystem::path> folders;
};

// Deeper subfolders of an applications folder are not walked.
inline constexpr int kMaxApplicationFolderDepth = 8;

// Walks the folders in precedence order, each with its subfolders (entries below a subfolder get IDs
// such as "kde-konsole"), skipping hidden files and folders and links to folders. The first folder holding
// an ID as an Application entry wins; a Hidden entry claims its ID and hides it from the folders after it;
// entries of other types and unreadable ones claim nothing. Never throws: what cannot be read is skipped.
// The installed-app list and the running-app identification both use this one walk.
DesktopEntryScan scanDesktopEntries(const std::vector<std::filesystem::path>& folders);

// The installed entries in XDG precedence (scanDesktopEntries).
class DesktopEntryIndex {
 public:
  explicit DesktopEntryIndex(std::vector<std::filesystem::path> folders = {});

  // Re-reads the folders when any of them changed since the last call; answers whether it did.
  bool refreshIfChanged();

  const DesktopEntry* entry(const std::string& id) const;
  // Whether some entry's Exec runs this executable (an absolute path, links resolved).
  bool isEntryProgram(const std::string& executable) const { return byProgram_.count(executable) != 0; }
  // The app whose Exec a process running `executable` with command line `argv` carries out: the entry's
  // program is that executable and its fixed words start the process's arguments. Where several
  // entries fit, the one with the most fixed words; among equals the first in precedence. A shell script's
  // entry also accounts for the program the script execs with the words fixed there, so a wrapper's app is
  // known by the binary it becomes.
  struct Match {
    const DesktopEntry* entry = nullptr;
    std::size_t words = 0;  // the fixed words matched
  };
  Match matchCommand(const std::string& executable, const std::vector<std::string>& argv) const;
  const DesktopEntry* entryForCommand(const std::string& executable, const std::vector<std::string>& argv) const {
    return matchCommand(executable, argv).entry;
  }
  const std::map<std::string, DesktopEntry>& entries() const { return entries_; }

 private:
  void rebuild();
  std::vector<std::filesystem::file_time_type> stamps() const;

  std::vector<std::filesystem::path> folders_;
  // The folders the last walk went through, subfolders included, and their times then.
  std::vector<std::filesystem::path> walked_;
  std::vector<std::filesystem::file_time_type> stamps_;
  bool built_ = false;
  std::map<std::string, DesktopEntry> entries_;
  struct Command {
    ExecCommand command;
    std::string id;
  };
  // By resolved program, in precedence order.
  std::map<std::string, std::vector<Command>> byProgram_;
};

// Resolves a program name through $PATH (an absolute or relative path is taken as it is), links resolved.
std::optional<std::string> resolveProgram(const std::string& program);

}  // namespace velmoria::platform
