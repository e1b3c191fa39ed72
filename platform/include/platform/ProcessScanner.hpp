#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/FileDescriptor.hpp"
#include "platform/DesktopEntry.hpp"
#include "platform/WindowIdentity.hpp"
#include "platform/Workspace.hpp"

namespace velmoria::platform {

class KillLedger;

// A running app found in /proc. It holds a pidfd taken when the process was identified, so its kill
// reaches that process or nothing.
class ProcessApplication final : public RunningApplication {
 public:
  ProcessApplication(pid_t pid, unsigned long long startTime, int pidfd, std::string bundleID,
                     std::optional<std::string> name, std::filesystem::path procRoot,
                     std::shared_ptr<KillLedger> ledger = nullptr);
  ~ProcessApplication() override;
  ProcessApplication(const ProcessApplication&) = delete;
  ProcessApplication& operator=(const ProcessApplication&) = delete;

  pid_t processIdentifier() const override { return pid_; }
  std::optional<std::string> bundleIdentifier() const override { return bundleID_; }
  std::optional<std::string> localizedName() const override { return name_; }
  // Kills the app's whole process tree: the process and every descendant, each stopped and held by a
  // pidfd before any is killed, so none can fork past the kill or be lost when its parent dies first.
  // This process and what it started are never part of it. With a ledger, the scanner's next scan checks
  // that none is left and kills again what is, new descendants included.
  bool forceTerminate() override;
  unsigned long long startTime() const { return startTime_; }
  // Whether the process has ended (a zombie not yet reaped counts as ended).
  bool hasEnded() const;

 private:
  pid_t pid_;
  unsigned long long startTime_;
  int pidfd_;
  std::string bundleID_;
  std::optional<std::string> name_;
  std::filesystem::path procRoot_;
  std::shared_ptr<KillLedger> ledger_;
};

// The processes of a tree kill, each held by its pidfd.
struct HeldProcess {
  pid_t pid = 0;
  base::FileDescriptor pidfd;
};

// Stops and holds `roots` and every descendant alive now, found through the parent links in `procRoot`
// until no new one turns up. Skips this process and what it started. Adds to `held` and answers how many it
// added. A root is given by its pidfd.
std::size_t holdProcessTree(std::vector<HeldProcess>& held, const std::filesystem::path& procRoot);

// The tree kills sent and not yet seen through: at every scan, what survives of them is named in the trace
// and killed again with the descendants it has now, for a few scans.
class KillLedger {
 public:
  void add(std::string bundleID, std::vector<HeldProcess> held);
  // Checks the kills sent before this call; answers the pids still alive.
  std::vector<pid_t> recheck(const std::filesystem::path& procRoot);
  bool empty() const { return kills_.empty(); }

 private:
  struct Kill {
    std::string bundleID;
    std::vector<HeldProcess> held;
    int checks = 0;
  };
  std::vector<Kill> kills_;
};

// Finds this user's running apps in /proc. A process is an app when an installed desktop entry accounts for
// it, in this order: GIO_LAUNCHED_DESKTOP_FILE naming this very pid, the systemd app scope of its cgroup
// (the scope's first process only), or its command line carrying out an entry's Exec: its executable is the
// entry's program and its arguments start with the entry's fixed words (not when its parent is the same
// app). A scan looks up the pids the kernel has handed out since the last scan (reading /proc's listing
// when they are many, and at least every eighth scan) and reads the files only of processes it has not
// seen before; what it found is kept per process. Any process may exec later (a fork, a launcher such as
// env, a wrapper script on its way to the app, an app handing over to another) or change its owner: its
// executable (a fork's exec flag) and another user's process's owner are looked at again at every scan for
// a short while (a fork's for longer) and then at every fourth scan, and once either changes the process
// is identified afresh. Where its new program accounts for an entry it is that entry, unless that entry
// has no fixed words and its identity so far was more exact (a launch's own variable or scope, or fixed
// words); where it accounts for none it keeps the identity it had, so a wrapper hands it on to the binary
// it becomes.
class ProcessScanner {
 public:
  explicit ProcessScanner(std::shared_ptr<DesktopEntryIndex> index = nullptr, std::filesystem::path procRoot = "/proc");
  ~ProcessScanner();
  ProcessScanner(const ProcessScanner&) = delete;
  ProcessScanner& operator=(const ProcessScanner&) = delete;

  // The apps running now, in pid order.
  std::vector<std::shared_ptr<ProcessApplication>> scan();
  // The app a process belongs to: the process itself or its nearest ancestor that is an app.
  std::shared_ptr<ProcessApplication> applicationOwning(pid_t pid);
  // Whether the last scan saw this process.
  bool knows(pid_t pid) const { return known_.count(pid) != 0; }

  DesktopEntryIndex& index() { return *index_; }

  // The top-level windows as the window system told them last. From the next scan on, a process of ours
  // that a window names is the app the window's WM_CLASS names (entryForWindow); where another route
  // found it to be another app, the window's entry takes it only when named by StartupWMClass and the
  // other route was the Exec's. A process whose nearest app is the window's entry already stays part of it.
  void setWindows(std::vector<TopLevelWindow> windows);

 private:
  struct Known {
    unsigned long long startTime = 0;
    ino_t inode = 0;  // of /proc/<pid>: a new process under an old pid gets a new one
    pid_t parent = 0;
    bool foreign = false;    // another user's: no app of ours while it stays so
    bool kernel = false;     // a kernel thread: never looked at again
    bool forked = false;     // a fork that had not exec'd when last looked at
    bool unsettled = false;  // caught inside an exec, before its command line was there: looked at again
    std::string cgroup;
    std::string identifiedBy;  // "", "gio", "scope", "exec", "window"
    std::string id;
    std::size_t words = 0;        // the fixed Exec words that identified it ("exec")
    std::string exe;              // the executable it was identified with
    std::uint64_t firstScan = 0;  // the scan that first saw it
    std::shared_ptr<ProcessApplication> app;
    bool seen = false;
  };
  // Reads the listing; answers the processes of ours it has not seen before.
  std::vector<pid_t> walk();
  // Looks up the pids in (after, upTo] one by one; answers the processes of ours among them.
  std::vector<pid_t> probe(unsigned long after, unsigned long upTo);
  // Notes a process of the listing (or of a probe); answers whether it is one of ours not seen before.
  bool admit(pid_t pid, int dirFd, const char* name, std::optional<ino_t> listedInode);
  // Forgets the apps that have ended, for scans that do not read the listing.
  void forgetEndedApps();
  // The pid the kernel handed out last (loadavg's last field); nothing when it cannot be read.
  std::optional<unsigned long> readLastPid();
  // The program a process runs; empty when it cannot be read.
  std::string executableOf(pid_t pid);
  bool dueForAnotherLook(pid_t pid, const Known& k) const;
  // Whether a process looked at again has exec'd or changed its owner since; updates what is kept of it.
  bool changedSinceLastLook(pid_t pid, Known& k);
  void identify(pid_t pid, Known& k);
  void identifyAfresh(pid_t pid, Known& k);
  void takeApp(pid_t pid, Known& k);
  // The entries the windows name, by process.
  void mapWindows();
  // Makes the process the app its window names, where it has one.
  void claimByWindow(pid_t pid, Known& k);
  std::filesystem::path procRoot_;
  std::shared_ptr<DesktopEntryIndex> index_;
  std::shared_ptr<KillLedger> ledger_ = std::make_shared<KillLedger>();
  std::unordered_map<pid_t, Known> known_;
  std::uint64_t scans_ = 0;
  std::uint64_t lastWalk_ = 0;
  std::optional<unsigned long> lastPid_;
  base::FileDescriptor loadavgFd_;
  base::FileDescriptor procFd_;
  uid_t uid_;
  struct WindowClaim {
    std::string id;
    bool byStartupWMClass = false;
  };
  std::vector<TopLevelWindow> windows_;
  bool windowsChanged_ = false;
  std::unordered_map<pid_t, WindowClaim> windowClaims_;
};

// What the scanner reads of /proc/<pid>/stat.
struct ProcStat {
  pid_t parent = 0;                  // field 4
  unsigned flags = 0;                // field 9, the kernel's task flags
  unsigned long long startTime = 0;  // field 22
  // Forked and not exec'd since: it still runs its parent's program (the kernel's PF_FORKNOEXEC).
  bool forkedWithoutExec() const { return (flags & 0x40u) != 0; }
  bool kernelThread() const { return (flags & 0x200000u) != 0; }
  char state = 0;  // field 3; 'Z' for a zombie
};

// Nothing when the text is not a stat line.
std::optional<ProcStat> parseProcStat(std::string_view text);

}  // namespace velmoria::platform
