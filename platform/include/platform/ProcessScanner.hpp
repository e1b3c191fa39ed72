#pragma once

#include "platform/DesktopEntry.hpp"
#include "platform/Workspace.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// A running app found in /proc. It holds a pidfd taken when the process was identified, so its kill
// reaches that process or nothing.
class ProcessApplication final : public RunningApplication {
 public:
  ProcessApplication(pid_t pid, unsigned long long startTime, int pidfd, std::string bundleID,
                     std::optional<std::string> name, std::filesystem::path procRoot);
  ~ProcessApplication() override;
  ProcessApplication(const ProcessApplication&) = delete;
  ProcessApplication& operator=(const ProcessApplication&) = delete;

  pid_t processIdentifier() const override { return pid_; }
  std::optional<std::string> bundleIdentifier() const override { return bundleID_; }
  std::optional<std::string> localizedName() const override { return name_; }
  bool forceTerminate() override;
  unsigned long long startTime() const { return startTime_; }

 private:
  pid_t pid_;
  unsigned long long startTime_;
  int pidfd_;
  std::string bundleID_;
  std::optional<std::string> name_;
  std::filesystem::path procRoot_;
};

// Finds this user's running apps in /proc. A process is an app when an installed desktop entry accounts
// for it, in this order: GIO_LAUNCHED_DESKTOP_FILE naming this very pid, the systemd app scope of its
// cgroup (the scope's first process only), or its executable being an entry's Exec program (not when
// its parent is the same app). Identification is cached per process, so a scan of known processes
// reads one small file each. A process caught between fork and exec still runs its parent's program,
// so one that is no app and runs its parent's program is looked at again: at every scan while it is
// young, and at every sixteenth scan after that, until its executable changes.
class ProcessScanner {
 public:
  explicit ProcessScanner(std::shared_ptr<DesktopEntryIndex> index = nullptr, std::filesystem::path procRoot = "/proc");

  // The apps running now, in pid order.
  std::vector<std::shared_ptr<ProcessApplication>> scan();
  // The app a process belongs to: the process itself or its nearest ancestor that is an app.
  std::shared_ptr<ProcessApplication> applicationOwning(pid_t pid);
  // Whether the last scan saw this process.
  bool knows(pid_t pid) const { return known_.count(pid) != 0; }

  DesktopEntryIndex& index() { return *index_; }

 private:
  struct Known {
    unsigned long long startTime = 0;
    ino_t inode = 0;  // of /proc/<pid>: a new process under an old pid gets a new one
    pid_t parent = 0;
    std::string cgroup;
    std::string identifiedBy;  // "", "gio", "scope", "exec"
    std::string id;
    std::string exe;              // the executable it was identified with
    std::uint64_t firstScan = 0;  // the scan that first saw it
    std::shared_ptr<ProcessApplication> app;
    bool seen = false;
  };
  void identify(pid_t pid, Known& k);
  bool execedSinceIdentified(pid_t pid, const Known& k) const;
  std::filesystem::path procRoot_;
  std::shared_ptr<DesktopEntryIndex> index_;
  std::unordered_map<pid_t, Known> known_;
  std::uint64_t scans_ = 0;
  uid_t uid_;
};

// Parses the start time (field 22) and the parent (field 4) of /proc/<pid>/stat text.
bool parseProcStat(std::string_view text, pid_t& parent, unsigned long long& startTime);

}  // namespace platform
