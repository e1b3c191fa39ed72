#include "platform/ProcessScanner.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <unordered_set>

#include "platform/BlockingTrace.hpp"
#include "platform/DesktopFileId.hpp"

namespace velmoria::platform {
namespace {

// Through syscall(2): the C library's declarations are not usable from C++ on every system we build on.
int openPidfd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0u)); }
int sendSignal(int pidfd, int sig) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0u));
}

// Reads a small /proc file whole; empty when it cannot be read.
std::string readSmall(const std::string& path, std::size_t limit = 256 * 1024) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string out;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
    if (out.size() >= limit) break;
  }
  ::close(fd);
  return out;
}

std::optional<std::string> environValue(std::string_view environ, std::string_view name) {
  std::size_t start = 0;
  while (start < environ.size()) {
    auto end = environ.find('\0', start);
    if (end == std::string_view::npos) end = environ.size();
    const auto item = environ.substr(start, end - start);
    if (item.size() > name.size() && item.substr(0, name.size()) == name && item[name.size()] == '=') {
      return std::string(item.substr(name.size() + 1));
    }
    start = end + 1;
  }
  return std::nullopt;
}

std::string unifiedCgroup(const std::string& text) {
  // Prefer the cgroup v2 line ("0::/..."); else the systemd named hierarchy.
  std::string fallback;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.rfind("0::", 0) == 0) return line.substr(3);
    if (line.find(":name=systemd:") != std::string::npos) fallback = line.substr(line.rfind(':') + 1);
    start = end + 1;
  }
  return fallback;
}

std::optional<pid_t> parsePid(const char* name) {
  pid_t pid = 0;
  const char* end = name + std::char_traits<char>::length(name);
  const auto [ptr, ec] = std::from_chars(name, end, pid);
  if (ec != std::errc{} || ptr != end || pid <= 0) return std::nullopt;
  return pid;
}

}  // namespace

std::optional<ProcStat> parseProcStat(std::string_view text) {
  // The command name may hold spaces and parentheses: fields start after the last ")".
  const auto close = text.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view rest = text.substr(close + 1);
  ProcStat stat;
  int field = 2;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && rest[i] == ' ') ++i;
    std::size_t j = i;
    while (j < rest.size() && rest[j] != ' ' && rest[j] != '\n') ++j;
    if (j == i) break;
    ++field;
    const auto token = rest.substr(i, j - i);
    const auto parse = [&token](auto& value) {
      return std::from_chars(token.data(), token.data() + token.size(), value).ec == std::errc{};
    };
    if (field == 3) {
      stat.state = token.front();
    } else if (field == 4) {
      if (!parse(stat.parent)) return std::nullopt;
    } else if (field == 9) {
      if (!parse(stat.flags)) return std::nullopt;
    } else if (field == 22) {
      if (!parse(stat.startTime)) return std::nullopt;
      return stat;
    }
    i = j;
  }
  return std::nullopt;
}

ProcessApplication::ProcessApplication(pid_t pid, unsigned long long startTime, int pidfd, std::string bundleID,
                                       std::optional<std::string> name, std::filesystem::path procRoot,
                                       std::shared_ptr<KillLedger> ledger)
    : pid_(pid),
      startTime_(startTime),
      pidfd_(pidfd),
      bundleID_(std::move(bundleID)),
      name_(std::move(name)),
      procRoot_(std::move(procRoot)),
      ledger_(std::move(ledger)) {}

ProcessApplication::~ProcessApplication() {
  if (pidfd_ >= 0) ::close(pidfd_);
}

namespace {

bool pidfdEnded(int pidfd) {
  // A pidfd turns readable when its process exits.
  pollfd watch{pidfd, POLLIN, 0};
  return ::poll(&watch, 1, 0) != 0;
}

std::string pidList(const std::vector<HeldProcess>& held) {
  std::string out;
  for (const auto& h : held) out += (out.empty() ? "" : " ") + std::to_string(h.pid);
  return out;
}

// The children of every thread of a process, from the kernel's own lists; nothing where it keeps none.
std::optional<std::vector<pid_t>> listedChildren(const std::filesystem::path& procRoot, pid_t pid) {
  const auto tasks = procRoot / std::to_string(pid) / "task";
  DIR* dir = ::opendir(tasks.c_str());
  if (dir == nullptr) return std::vector<pid_t>{};  // gone already
  std::vector<pid_t> out;
  bool listed = false;
  while (const dirent* item = ::readdir(dir)) {
    if (!parsePid(item->d_name)) continue;
    const auto file = tasks / item->d_name / "children";
    if (::access(file.c_str(), R_OK) != 0) continue;
    listed = true;
    const std::string text = readSmall(file.string(), 64 * 1024);
    for (std::size_t i = 0; i < text.size();) {
      const auto end = text.find(' ', i);
      const std::string word = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
      if (const auto child = parsePid(word.c_str())) out.push_back(*child);
      if (end == std::string::npos) break;
      i = end + 1;
    }
  }
  ::closedir(dir);
  if (!listed) return std::nullopt;
  return out;
}

// Parent to child for every process in the listing.
std::unordered_multimap<pid_t, pid_t> parentLinks(const std::filesystem::path& procRoot) {
  std::unordered_multimap<pid_t, pid_t> links;
  DIR* dir = ::opendir(procRoot.c_str());
  if (dir == nullptr) return links;
  while (const dirent* item = ::readdir(dir)) {
    const auto pid = parsePid(item->d_name);
    if (!pid) continue;
    const auto stat = parseProcStat(readSmall((procRoot / item->d_name / "stat").string(), 4096));
    if (stat && !stat->kernelThread()) links.emplace(stat->parent, *pid);
  }
  ::closedir(dir);
  return links;
}

// Waits a moment, at most about 20 ms in all, until each held process has stopped or ended.
void waitUntilStopped(const std::vector<HeldProcess>& held, const std::filesystem::path& procRoot) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    bool all = true;
    for (const auto& h : held) {
      if (pidfdEnded(h.pidfd.get())) continue;
      const auto stat = parseProcStat(readSmall((procRoot / std::to_string(h.pid) / "stat").string(), 4096));
      if (stat && stat->state != 'T' && stat->state != 't' && stat->state != 'Z' && stat->state != 'X') {
        all = false;
        break;
      }
    }
    if (all) return;
    ::usleep(200);
  }
}

}  // namespace

std::size_t holdProcessTree(std::vector<HeldProcess>& held, const std::filesystem::path& procRoot) {
  const pid_t self = ::getpid();
  std::size_t added = 0;
  // Each round reads every parent link afresh, once the held processes have stopped: a stop takes effect
  // only when its process next leaves the kernel, so one inside a fork would add its child after the read.
  for (int round = 0; round < 16; ++round) {
    waitUntilStopped(held, procRoot);
    // The children the kernel lists per thread, where it does; else every parent link in the listing.
    std::optional<std::unordered_multimap<pid_t, pid_t>> links;
    const auto childrenOf = [&](pid_t parent) {
      if (!links) {
        if (auto listed = listedChildren(procRoot, parent)) return *listed;
        links = parentLinks(procRoot);
      }
      std::vector<pid_t> out;
      const auto [first, last] = links->equal_range(parent);
      for (auto it = first; it != last; ++it) out.push_back(it->second);
      return out;
    };
    std::unordered_set<pid_t> inTree;
    std::deque<pid_t> queue;
    for (const auto& h : held) {
      inTree.insert(h.pid);
      queue.push_back(h.pid);
    }
    std::size_t found = 0;
    while (!queue.empty()) {
      const pid_t parent = queue.front();
      queue.pop_front();
      for (const pid_t child : childrenOf(parent)) {
        // This process and what it started are never part of an app it runs under.
        if (child == self || inTree.count(child) != 0) continue;
        base::FileDescriptor fd(openPidfd(child));
        if (!fd.valid()) continue;
        // The pidfd is the child's only while its parent, held and stopped, is still the one we read.
        const auto stat = parseProcStat(readSmall((procRoot / std::to_string(child) / "stat").string(), 4096));
        if (!stat || stat->parent != parent) continue;
        sendSignal(fd.get(), SIGSTOP);
        inTree.insert(child);
        queue.push_back(child);
        held.push_back({child, std::move(fd)});
        ++found;
      }
    }
    added += found;
    if (found == 0) break;
  }
  return added;
}

void KillLedger::add(std::string bundleID, std::vector<HeldProcess> held) {
  kills_.push_back({std::move(bundleID), std::move(held), 0});
}

std::vector<pid_t> KillLedger::recheck(const std::filesystem::path& procRoot) {
  constexpr int kChecks = 4;
  std::vector<pid_t> alive;
  for (auto& kill : kills_) {
    std::erase_if(kill.held, [](const HeldProcess& h) { return pidfdEnded(h.pidfd.get()); });
    if (kill.held.empty()) continue;
    ++kill.checks;
    const auto survivors = pidList(kill.held);
    const std::size_t descendants = holdProcessTree(kill.held, procRoot);
    for (const auto& h : kill.held) {
      sendSignal(h.pidfd.get(), SIGKILL);
      alive.push_back(h.pid);
    }
    if (blockingtrace::enabled()) {
      blockingtrace::write("kill of " + kill.bundleID + " survived by pid " + survivors + " (" +
                           std::to_string(descendants) + " new descendants), killed again" +
                           (kill.checks >= kChecks ? ", given up" : ""));
    }
    if (kill.checks >= kChecks) kill.held.clear();
  }
  std::erase_if(kills_, [](const Kill& kill) { return kill.held.empty(); });
  return alive;
}

bool ProcessApplication::forceTerminate() {
  bool sent = false;
  std::size_t descendants = 0;
  if (pidfd_ >= 0) {
    std::vector<HeldProcess> held;
    held.push_back({pid_, base::FileDescriptor(::fcntl(pidfd_, F_DUPFD_CLOEXEC, 0))});
    if (held.front().pidfd.valid() && sendSignal(pidfd_, SIGSTOP) == 0 && procRoot_ == "/proc") {
      descendants = holdProcessTree(held, procRoot_);
    }
    sent = sendSignal(pidfd_, SIGKILL) == 0;
    const int error = errno;
    for (std::size_t i = 1; i < held.size(); ++i) sendSignal(held[i].pidfd.get(), SIGKILL);
    if (ledger_ && held.front().pidfd.valid()) ledger_->add(bundleID_, std::move(held));
    errno = error;
  } else {
    // Without a pidfd (an old kernel), kill only while the pid still has the start time we saw.
    const auto stat = parseProcStat(readSmall((procRoot_ / std::to_string(pid_) / "stat").string()));
    errno = ESRCH;
    sent = stat && stat->startTime == startTime_ && ::kill(pid_, SIGKILL) == 0;
  }
  if (blockingtrace::enabled()) {
    blockingtrace::write("kill of " + bundleID_ + ", pid " + std::to_string(pid_) +
                         (sent ? ": sent" : std::string(": failed, ") + std::strerror(errno)) +
                         (descendants > 0 ? ", and to " + std::to_string(descendants) + " descendants" : ""));
  }
  return sent;
}

bool ProcessApplication::hasEnded() const {
  if (pidfd_ >= 0) return pidfdEnded(pidfd_);
  const auto stat = parseProcStat(readSmall((procRoot_ / std::to_string(pid_) / "stat").string()));
  return !stat || stat->startTime != startTime_;
}

ProcessScanner::ProcessScanner(std::shared_ptr<DesktopEntryIndex> index, std::filesystem::path procRoot)
    : procRoot_(std::move(procRoot)),
      index_(index ? std::move(index) : std::make_shared<DesktopEntryIndex>()),
      uid_(::geteuid()) {}

ProcessScanner::~ProcessScanner() = default;

namespace {

// Scans in which a new process that has exec'd is looked at again (about two seconds at the workspace's
// 250 ms); in which a fork that has not is looked at at every scan (about ten seconds); and how often an
// older process that is no app is looked at after that (about once a second).
constexpr std::uint64_t kLauncherScans = 8;
constexpr std::uint64_t kYoungScans = 40;
constexpr std::uint64_t kRecheckEvery = 4;

// Scans that may go by without reading /proc's listing, and the most pids handed out since the last scan
// that are looked up one by one rather than through the listing.
constexpr std::uint64_t kWalkAtLeastEvery = 8;
// Scans between looks at the application folders for added or changed entries.
constexpr std::uint64_t kIndexLookEvery = 4;
constexpr unsigned long kProbeAtMost = 64;

// The pid the kernel handed out last: the last field of loadavg. Nothing when it cannot be read (a /proc
// without it), and then every scan reads the listing.
std::optional<unsigned long> parseLastPid(std::string_view view) {
  while (!view.empty() && (view.back() == '\n' || view.back() == ' ')) view.remove_suffix(1);
  const auto space = view.rfind(' ');
  if (space == std::string_view::npos) return std::nullopt;
  view.remove_prefix(space + 1);
  unsigned long pid = 0;
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), pid);
  if (ec != std::errc{} || end != view.data() + view.size()) return std::nullopt;
  return pid;
}

std::vector<std::string> commandLine(const std::string& dir) {
  const std::string text = readSmall(dir + "/cmdline", 64 * 1024);
  std::vector<std::string> argv;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    argv.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return argv;
}

std::string joined(const std::vector<std::string>& argv) {
  std::string out;
  for (const auto& a : argv) {
    if (!out.empty()) out += ' ';
    out += a;
  }
  return out;
}

}  // namespace

std::optional<unsigned long> ProcessScanner::readLastPid() {
  // Kept open: read afresh from its start at every scan, one call instead of three.
  if (!loadavgFd_.valid())
    loadavgFd_ = base::FileDescriptor(::open((procRoot_ / "loadavg").c_str(), O_RDONLY | O_CLOEXEC));
  if (!loadavgFd_.valid()) return std::nullopt;
  char text[256];
  const ssize_t n = ::pread(loadavgFd_.get(), text, sizeof text, 0);
  if (n <= 0) return std::nullopt;
  return parseLastPid(std::string_view(text, static_cast<std::size_t>(n)));
}

std::string ProcessScanner::executableOf(pid_t pid) {
  // Relative to /proc kept open: the link is read for many processes at every scan.
  if (!procFd_.valid()) procFd_ = base::FileDescriptor(::open(procRoot_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!procFd_.valid()) return {};
  char link[32];
  std::snprintf(link, sizeof link, "%d/exe", static_cast<int>(pid));
  char target[4096];
  const ssize_t n = ::readlinkat(procFd_.get(), link, target, sizeof target);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return {};
  return std::string(target, static_cast<std::size_t>(n));
}

bool ProcessScanner::admit(pid_t pid, int dirFd, const char* name, std::optional<ino_t> listedInode) {
  auto it = known_.find(pid);
  // The listing carries each process's inode: the same one is the same process, which needs no further
  // look. A changed one may still be the same process (procfs may drop and remake it), so the start time
  // decides.
  if (it != known_.end() && listedInode && it->second.inode == *listedInode) {
    it->second.seen = true;
    return false;
  }
  struct stat st {};
  if (::fstatat(dirFd, name, &st, 0) != 0) return false;
  std::string path = procRoot_.string();
  path += '/';
  path += name;
  path += "/stat";
  const auto stat = parseProcStat(readSmall(path, 4096));
  if (!stat) return false;
  if (it != known_.end() && it->second.startTime != stat->startTime) {
    known_.erase(it);  // the pid was reused
    it = known_.end();
  }
  bool added = false;
  if (it == known_.end()) {
    Known k;
    k.startTime = stat->startTime;
    k.parent = stat->parent;
    k.forked = stat->forkedWithoutExec();
    k.kernel = stat->kernelThread();
    k.foreign = st.st_uid != uid_ || k.kernel;
    k.firstScan = scans_;
    it = known_.emplace(pid, std::move(k)).first;
    added = !it->second.foreign;
  }
  it->second.inode = st.st_ino;
  it->second.seen = true;
  return added;
}

std::vector<pid_t> ProcessScanner::walk() {
  std::vector<pid_t> fresh;
  for (auto& [pid, k] : known_) k.seen = false;
  DIR* dir = ::opendir(procRoot_.c_str());
  if (dir == nullptr) {
    known_.clear();
    return fresh;
  }
  const int dfd = ::dirfd(dir);
  while (const dirent* item = ::readdir(dir)) {
    const auto pid = parsePid(item->d_name);
    if (pid && admit(*pid, dfd, item->d_name, item->d_ino)) fresh.push_back(*pid);
  }
  ::closedir(dir);
  std::erase_if(known_, [](const auto& kv) { return !kv.second.seen; });
  return fresh;
}

std::vector<pid_t> ProcessScanner::probe(unsigned long after, unsigned long upTo) {
  std::vector<pid_t> fresh;
  const int dfd = ::open(procRoot_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return fresh;
  for (unsigned long candidate = after + 1; candidate <= upTo; ++candidate) {
    const auto pid = static_cast<pid_t>(candidate);
    // Most pids handed out since the last scan went to threads, or to processes that are gone already;
    // a pidfd is refused for both.
    const int fd = openPidfd(pid);
    if (fd < 0) continue;
    ::close(fd);
    const std::string name = std::to_string(pid);
    if (admit(pid, dfd, name.c_str(), std::nullopt)) fresh.push_back(pid);
  }
  ::close(dfd);
  return fresh;
}

void ProcessScanner::forgetEndedApps() {
  std::erase_if(known_, [](const auto& kv) { return kv.second.app && kv.second.app->hasEnded(); });
}

bool ProcessScanner::dueForAnotherLook(pid_t pid, const Known& k) const {
  if (k.kernel || k.firstScan == scans_) return false;
  if (k.unsettled) return true;
  const std::uint64_t age = scans_ - k.firstScan;
  // A launcher (env, a shell's exec) mostly replaces itself with the app within moments of starting, a
  // fork may take its time; either may exec the app at any age, after a wrapper's setup or a wait.
  if (age < (k.forked ? kYoungScans : kLauncherScans)) return true;
  return (scans_ + static_cast<std::uint64_t>(pid)) % kRecheckEvery == 0;
}

bool ProcessScanner::changedSinceLastLook(pid_t pid, Known& k) {
  char name[16];
  std::snprintf(name, sizeof name, "%d", static_cast<int>(pid));
  if (k.foreign) {
    // Another user's process is looked at only for its owner: a launcher may drop to ours.
    struct stat st {};
    if (!procFd_.valid()) procFd_ = base::FileDescriptor(::open(procRoot_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!procFd_.valid() || ::fstatat(procFd_.get(), name, &st, 0) != 0 || st.st_uid != uid_) return false;
    const auto stat = parseProcStat(readSmall((procRoot_ / name / "stat").string(), 4096));
    if (!stat || stat->startTime != k.startTime) return false;
    k.foreign = false;
    k.forked = stat->forkedWithoutExec();
    if (blockingtrace::enabled()) blockingtrace::write("pid " + std::string(name) + " now runs as ours");
    return true;
  }
  // The kernel's flag clears at the exec, even one of the program the fork already runs. Its stat costs
  // several looks at the executable, and many forks never exec (workers, a browser's renderers): past its
  // first scans a fork is looked at for a change of program only, like any other process.
  const bool flagRead = k.forked && scans_ - k.firstScan < kYoungScans;
  if (flagRead) {
    const auto stat = parseProcStat(readSmall((procRoot_ / name / "stat").string(), 4096));
    if (!stat || stat->startTime != k.startTime || stat->forkedWithoutExec()) return false;
  }
  const auto exe = executableOf(pid);
  if (exe.empty()) {
    struct stat st {};
    if (::fstatat(procFd_.get(), name, &st, 0) == 0 && st.st_uid != uid_) k.foreign = true;
    return false;
  }
  if (exe == k.exe && !k.unsettled && !flagRead) return false;
  if (blockingtrace::enabled()) {
    blockingtrace::write("pid " + std::string(name) +
                         (k.unsettled ? " looked at again: its command line was not there yet"
                                      : " exec'd " + exe + " (was " + k.exe + ")"));
  }
  k.forked = false;
  return true;
}

void ProcessScanner::identify(pid_t pid, Known& k) {
  const std::string by = k.identifiedBy;
  const std::string id = k.id;
  const std::size_t words = k.words;
  identifyAfresh(pid, k);
  if (by.empty()) return;
  // An entry without fixed words matches any process of its program: it never takes one from an identity
  // that was more exact. A program no entry accounts for keeps the identity it was launched under.
  const bool bare = k.identifiedBy == "exec" && k.words == 0;
  const bool exact = by != "exec" || words > 0;
  if (k.identifiedBy.empty() || (bare && exact && k.id != id)) {
    if (blockingtrace::enabled() && !k.unsettled) {
      blockingtrace::write("pid " + std::to_string(pid) + " keeps " + id + " through its exec of " + k.exe);
    }
    k.identifiedBy = by;
    k.id = id;
    k.words = words;
  }
}

void ProcessScanner::identifyAfresh(pid_t pid, Known& k) {
  const std::string dir = (procRoot_ / std::to_string(pid)).string();
  k.identifiedBy.clear();
  k.id.clear();
  k.words = 0;
  k.unsettled = false;
  k.exe = executableOf(pid);
  k.cgroup = unifiedCgroup(readSmall(dir + "/cgroup"));

  // A fork still holds its parent's environment, which never names the fork's own pid.
  const std::string environ = k.forked ? std::string() : readSmall(dir + "/environ");
  if (const auto file = environValue(environ, "GIO_LAUNCHED_DESKTOP_FILE")) {
    const auto launchedPid = environValue(environ, "GIO_LAUNCHED_DESKTOP_FILE_PID");
    if (launchedPid && *launchedPid == std::to_string(pid)) {
      if (const auto id = desktopFileIdFromEntryPath(*file)) {
        k.identifiedBy = "gio";
        k.id = *id;
        return;
      }
    }
  }
  if (const auto id = desktopFileIdFromCgroup(k.cgroup); id && index_->entry(*id)) {
    // Only the scope's first process stands for the app, not what it started.
    const auto parent = known_.find(k.parent);
    if (parent == known_.end() || parent->second.cgroup != k.cgroup) {
      k.identifiedBy = "scope";
      k.id = *id;
      return;
    }
  }
  if (k.exe.empty() || !index_->isEntryProgram(k.exe)) {
    if (k.forked && k.firstScan > 1 && blockingtrace::enabled()) {
      blockingtrace::write("pid " + std::to_string(pid) + " is a fork of " + std::to_string(k.parent) +
                           " that has not exec'd yet (runs " + k.exe + ")");
    }
    return;
  }
  const auto argv = commandLine(dir);
  if (argv.empty()) {
    // Inside its exec the new program shows before its arguments do.
    k.unsettled = true;
    return;
  }
  const auto match = index_->matchCommand(k.exe, argv);
  const DesktopEntry* e = match.entry;
  if (e == nullptr) {
    if (blockingtrace::enabled()) {
      blockingtrace::write("pid " + std::to_string(pid) + " runs " + k.exe + " as \"" + joined(argv) +
                           "\", which no entry's Exec starts");
    }
    return;
  }
  const auto parent = known_.find(k.parent);
  if (parent != known_.end() && parent->second.id == e->id) {
    if (blockingtrace::enabled()) blockingtrace::write("pid " + std::to_string(pid) + " is part of its parent's app");
    return;  // part of the app its parent is
  }
  k.identifiedBy = "exec";
  k.id = e->id;
  k.words = match.words;
}

void ProcessScanner::takeApp(pid_t pid, Known& k) {
  // Take the pidfd now and check it still is the process we read about: a pid reused in between has
  // another start time.
  const int fd = openPidfd(pid);
  const auto stat = parseProcStat(readSmall((procRoot_ / std::to_string(pid) / "stat").string(), 4096));
  if (!stat || stat->startTime != k.startTime) {
    if (fd >= 0) ::close(fd);
    k.identifiedBy.clear();
    k.app.reset();
    return;
  }
  const DesktopEntry* entry = index_->entry(k.id);
  std::optional<std::string> name = entry ? entry->localizedName(messagesLocale()) : std::nullopt;
  k.app = std::make_shared<ProcessApplication>(pid, k.startTime, fd, k.id, std::move(name), procRoot_, ledger_);
  if (blockingtrace::enabled()) {
    blockingtrace::write("pid " + std::to_string(pid) + " (parent " + std::to_string(k.parent) + ") is " + k.id +
                         " by " + k.identifiedBy + ": " + k.exe + (fd < 0 ? ", without a pidfd" : ""));
  }
}

std::vector<std::shared_ptr<ProcessApplication>> ProcessScanner::scan() {
  const auto began = std::chrono::steady_clock::now();
  // What survived a kill since the last scan is killed again, before anything else is looked at.
  if (!ledger_->empty()) ledger_->recheck(procRoot_);
  // An app installed a moment ago may wait a second to be known; looking at every folder at every poll
  // would cost more than the poll itself.
  const bool entriesChanged = scans_ % kIndexLookEvery == 0 && index_->refreshIfChanged() && scans_ > 0;
  ++scans_;
  // Read before the listing: a process started after it moves the pid for the next scan.
  const auto lastPid = readLastPid();
  std::vector<pid_t> fresh;
  if (!lastPid || !lastPid_ || scans_ - lastWalk_ >= kWalkAtLeastEvery) {
    fresh = walk();
    lastWalk_ = scans_;
  } else {
    // Pids are handed out in rising order: only those since the last scan can be new processes. Many
    // of them, or the count starting over, and the listing is read instead.
    if (*lastPid > *lastPid_ && *lastPid - *lastPid_ <= kProbeAtMost && procRoot_ == "/proc") {
      fresh = probe(*lastPid_, *lastPid);
    } else if (*lastPid != *lastPid_) {
      fresh = walk();
      lastWalk_ = scans_;
    }
    forgetEndedApps();
  }
  lastPid_ = lastPid;
  const std::size_t freshCount = fresh.size();
  std::size_t looked = 0;
  for (auto& [pid, k] : known_) {
    // Installed or changed entries may account for processes that were no app until now.
    if (entriesChanged && !k.foreign && !k.app && k.firstScan != scans_) {
      fresh.push_back(pid);
      continue;
    }
    if (!dueForAnotherLook(pid, k)) continue;
    ++looked;
    if (changedSinceLastLook(pid, k)) fresh.push_back(pid);
  }

  // Parents before children, so a child can be told apart from the app that started it.
  std::sort(fresh.begin(), fresh.end());
  const bool remapWindows = windowsChanged_ || entriesChanged;
  if (remapWindows) mapWindows();
  for (const pid_t pid : fresh) {
    Known& k = known_[pid];
    identify(pid, k);
    if (k.identifiedBy.empty()) {
      k.app.reset();
    } else if (!k.app || k.app->bundleIdentifier() != k.id) {
      takeApp(pid, k);
    }
    claimByWindow(pid, k);
  }
  if (remapWindows) {
    for (const auto& [pid, claim] : windowClaims_) {
      if (const auto it = known_.find(pid); it != known_.end()) claimByWindow(pid, it->second);
    }
  }

  std::vector<std::shared_ptr<ProcessApplication>> apps;
  for (const auto& [pid, k] : known_) {
    if (k.app) apps.push_back(k.app);
  }
  std::sort(apps.begin(), apps.end(),
            [](const auto& a, const auto& b) { return a->processIdentifier() < b->processIdentifier(); });
  if (!fresh.empty() && blockingtrace::enabled()) {
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    char took[32];
    std::snprintf(took, sizeof took, "%.2f", ms);
    blockingtrace::write("scan " + std::to_string(scans_) + ": " + std::to_string(known_.size()) + " processes, " +
                         std::to_string(freshCount) + " new of ours, " + std::to_string(looked) + " looked at again, " +
                         std::to_string(fresh.size() - freshCount) + " exec'd, " + std::to_string(apps.size()) +
                         " apps, " + took + " ms");
  }
  return apps;
}

void ProcessScanner::setWindows(std::vector<TopLevelWindow> windows) {
  windows_ = std::move(windows);
  windowsChanged_ = true;
}

void ProcessScanner::mapWindows() {
  windowsChanged_ = false;
  windowClaims_.clear();
  for (const auto& window : windows_) {
    if (window.pid <= 0) continue;
    const auto found = entryForWindow(window, index_->entries());
    if (found.entry == nullptr) continue;
    const auto [it, added] =
        windowClaims_.try_emplace(window.pid, WindowClaim{found.entry->id, found.byStartupWMClass});
    // Of one process's windows, one that its entry names on purpose outweighs a guess.
    if (!added && found.byStartupWMClass && !it->second.byStartupWMClass) {
      it->second = WindowClaim{found.entry->id, true};
    }
  }
}

void ProcessScanner::claimByWindow(pid_t pid, Known& k) {
  const auto claim = windowClaims_.find(pid);
  if (claim == windowClaims_.end() || k.foreign) return;
  if (k.app) {
    if (k.id == claim->second.id) return;
    // The launcher's own word (its environment, the app scope) outweighs the window's; an Exec match
    // outweighs a guess from the ID, not a StartupWMClass.
    if (k.identifiedBy != "exec" || !claim->second.byStartupWMClass) return;
  } else if (const auto owner = applicationOwning(k.parent); owner && owner->bundleIdentifier() == claim->second.id) {
    return;  // a process of that app already
  }
  if (blockingtrace::enabled()) {
    blockingtrace::write("pid " + std::to_string(pid) + " has a window of " + claim->second.id +
                         (k.app ? " (was " + k.id + " by " + k.identifiedBy + ")" : ""));
  }
  k.app.reset();
  k.identifiedBy = "window";
  k.id = claim->second.id;
  k.words = 0;
  if (k.exe.empty()) k.exe = executableOf(pid);
  takeApp(pid, k);
  if (!k.app) k.id.clear();
}

std::shared_ptr<ProcessApplication> ProcessScanner::applicationOwning(pid_t pid) {
  for (int depth = 0; depth < 64 && pid > 1; ++depth) {
    const auto it = known_.find(pid);
    if (it == known_.end()) return nullptr;
    if (it->second.app) return it->second.app;
    pid = it->second.parent;
  }
  return nullptr;
}

}  // namespace velmoria::platform
