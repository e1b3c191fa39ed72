#include "platform/DesktopEntry.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <set>
#include <system_error>

#include "base/FileDescriptor.hpp"
#include "base/RegularFile.hpp"
#include "platform/DesktopFileId.hpp"

namespace velmoria::platform {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Desktop-entry string escapes: \s \n \t \r \\ .
std::string unescape(std::string_view v) {
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) {
      switch (v[++i]) {
        case 's':
          out += ' ';
          break;
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case '\\':
          out += '\\';
          break;
        default:
          out += '\\';
          out += v[i];
          break;
      }
    } else {
      out += v[i];
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> DesktopEntry::localizedName(std::string_view locale) const {
  std::string lang(locale.substr(0, locale.find_first_of(".@")));
  std::vector<std::string> keys;
  if (!lang.empty() && lang != "C" && lang != "POSIX") {
    keys.push_back(lang);
    if (const auto u = lang.find('_'); u != std::string::npos) keys.push_back(lang.substr(0, u));
  }
  keys.emplace_back();
  for (const auto& k : keys) {
    if (const auto it = names.find(k); it != names.end() && !it->second.empty()) return it->second;
  }
  return std::nullopt;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
  DesktopEntry e;
  bool inGroup = false;
  bool sawGroup = false;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, eq));
    const std::string value = unescape(trim(line.substr(eq + 1)));
    if (key == "Type")
      e.type = value;
    else if (key == "Name")
      e.names[""] = value;
    else if (key.substr(0, 5) == "Name[" && key.back() == ']')
      e.names[std::string(key.substr(5, key.size() - 6))] = value;
    else if (key == "Exec")
      e.exec = value;
    else if (key == "TryExec")
      e.tryExec = value;
    else if (key == "StartupWMClass")
      e.startupWMClass = value;
    else if (key == "Icon")
      e.icon = value;
    else if (key == "Hidden")
      e.hidden = value == "true";
    else if (key == "NoDisplay")
      e.noDisplay = value == "true";
  }
  if (!sawGroup) return std::nullopt;
  return e;
}

std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file) {
  try {
    const auto text = base::readRegularFile(file, kMaxDesktopEntryBytes);
    if (!text) return std::nullopt;
    return parseDesktopEntry(*text);
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

std::string messagesLocale() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* v = std::getenv(var); v && *v) return v;
  }
  return "C";
}

namespace {

// The path a launcher runs `program` by: as written when it holds a slash, else the first executable of
// that name along $PATH.
std::optional<std::string> launchedPath(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) return program;
  const char* pathEnv = std::getenv("PATH");
  const std::string path = pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto end = path.find(':', start);
    const std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + program;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return std::nullopt;
}

// The text after "#!" on a program's first line; nothing for a program that is no such script. Only the
// line's first bytes are read, as the system does: most programs are large binaries.
std::optional<std::string> interpreterLine(const std::string& program) {
  constexpr std::size_t kLineLimit = 256;
  const base::FileDescriptor fd(::open(program.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::array<char, kLineLimit> head{};
  const ssize_t n = ::pread(fd.get(), head.data(), head.size(), 0);
  if (n < 2 || head[0] != '#' || head[1] != '!') return std::nullopt;
  const std::string_view text(head.data(), static_cast<std::size_t>(n));
  const auto end = text.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(2, end - 2));
}

// The commands a shell script execs; none when it cannot be read.
std::vector<ExecCommand> shellScriptExecs(const std::string& script) {
  constexpr std::size_t kScriptLimit = 256 * 1024;
  try {
    const auto text = base::readRegularFile(script, kScriptLimit);
    return text ? shellExecCommands(*text) : std::vector<ExecCommand>{};
  } catch (const std::system_error&) {
    return {};
  }
}

// Whether a "#!" line runs a POSIX shell, whose `exec` lines we read.
bool isShellLine(std::string_view line) {
  line = line.substr(line.find_first_not_of(" \t") == std::string_view::npos ? line.size()
                                                                             : line.find_first_not_of(" \t"));
  const std::string_view program = line.substr(0, line.find_first_of(" \t"));
  const auto base = program.substr(program.rfind('/') == std::string_view::npos ? 0 : program.rfind('/') + 1);
  return base == "sh" || base == "bash" || base == "dash";
}

// An interpreter a wrapper may exec with the app's script after it: its bare program would claim every
// process of that interpreter.
bool isInterpreter(const std::string& program) {
  const std::string base = std::filesystem::path(program).filename().string();
  for (const char* name : {"sh", "bash", "dash", "zsh", "ksh", "env", "python", "perl", "ruby", "node", "java", "lua",
                           "tclsh", "wish", "mono", "gjs", "php"}) {
    const std::string_view n(name);
    if (base.rfind(n, 0) == 0 && base.find_first_not_of("0123456789.", n.size()) == std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> canonicalPath(const std::string& path) {
  std::error_code ec;
  auto p = std::filesystem::canonical(path, ec);
  if (ec) return std::nullopt;
  return p.string();
}

std::optional<std::string> resolveProgram(const std::string& program) {
  const auto launched = launchedPath(program);
  return launched ? canonicalPath(*launched) : std::nullopt;
}

DesktopEntryIndex::DesktopEntryIndex(std::vector<std::filesystem::path> folders)
    : folders_(folders.empty() ? applicationFolders() : std::move(folders)) {}

DesktopEntryScan scanDesktopEntries(const std::vector<std::filesystem::path>& folders) {
  namespace fs = std::filesystem;
  DesktopEntryScan scan;
  std::set<std::string> claimed;
  for (const auto& folder : folders) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) continue;
    scan.folders.push_back(folder);
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    // A folder that fails half-way gives what was read so far.
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
      const fs::path& path = it->path();
      const std::string name = path.filename().string();
      std::error_code typeError;
      const bool isFolder = it->is_directory(typeError) && !it->is_symlink(typeError);
      if (name.empty() || name.front() == '.') {
        if (isFolder) it.disable_recursion_pending();
        continue;
      }
      if (isFolder) {
        if (it.depth() + 1 >= kMaxApplicationFolderDepth) {
          it.disable_recursion_pending();
        } else {
          scan.folders.push_back(path);
        }
        continue;
      }
      if (path.extension() != ".desktop") continue;
      const auto id = desktopFileId(folder, path);
      if (!id || claimed.contains(*id)) continue;
      auto entry = readDesktopEntry(path);
      if (!entry || entry->type != "Application") continue;
      claimed.insert(*id);
      if (entry->hidden) continue;
      entry->id = *id;
      entry->file = path;
      scan.entries.push_back(std::move(*entry));
    }
  }
  return scan;
}

std::vector<std::filesystem::file_time_type> DesktopEntryIndex::stamps() const {
  // The given folders (one may appear later) and every folder the last walk went through: a subfolder that
  // comes or goes changes its parent's time, one whose entries change its own.
  std::vector<std::filesystem::file_time_type> stamps;
  stamps.reserve(folders_.size() + walked_.size());
  for (const auto* list : {&folders_, &walked_}) {
    for (const auto& folder : *list) {
      std::error_code ec;
      stamps.push_back(std::filesystem::last_write_time(folder, ec));
    }
  }
  return stamps;
}

bool DesktopEntryIndex::refreshIfChanged() {
  if (built_ && stamps() == stamps_) return false;
  rebuild();
  built_ = true;
  return true;
}

void DesktopEntryIndex::rebuild() {
  entries_.clear();
  byProgram_.clear();
  auto scan = scanDesktopEntries(folders_);
  walked_ = std::move(scan.folders);
  stamps_ = stamps();
  for (auto& entry : scan.entries) {
    // TryExec only says whether the app is installed: a bare program there would claim every process of
    // it, whatever the Exec runs it with.
    auto command = execCommand(entry.exec);
    const auto launched = command ? launchedPath(command->program) : std::nullopt;
    if (const auto resolved = launched ? canonicalPath(*launched) : std::nullopt) {
      // A script runs as its interpreter, so that is the program its process shows.
      if (const auto line = interpreterLine(*resolved)) {
        if (auto script = scriptCommand(*command, *line, *launched)) {
          if (const auto interpreter = resolveProgram(script->program))
            byProgram_[*interpreter].push_back({std::move(*script), entry.id});
        }
      }
      if (const auto line = interpreterLine(*resolved); line && isShellLine(*line)) {
        for (auto& target : shellScriptExecs(*resolved)) {
          const auto program = resolveProgram(target.program);
          if (program && *program != *resolved && !isInterpreter(*program))
            byProgram_[*program].push_back({std::move(target), entry.id});
        }
      }
      byProgram_[*resolved].push_back({std::move(*command), entry.id});
    }
    const std::string id = entry.id;
    entries_.emplace(id, std::move(entry));
  }
}

const DesktopEntry* DesktopEntryIndex::entry(const std::string& id) const {
  const auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}

DesktopEntryIndex::Match DesktopEntryIndex::matchCommand(const std::string& executable,
                                                         const std::vector<std::string>& argv) const {
  const auto it = byProgram_.find(executable);
  if (it == byProgram_.end()) return {};
  const Command* best = nullptr;
  for (const auto& candidate : it->second) {
    if (!candidate.command.matches(argv)) continue;
    if (!best || candidate.command.arguments.size() > best->command.arguments.size()) best = &candidate;
  }
  if (!best) return {};
  return {entry(best->id), best->command.arguments.size()};
}

}  // namespace velmoria::platform
