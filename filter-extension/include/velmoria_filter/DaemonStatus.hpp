#pragma once

#include <filesystem>
#include <stdexcept>

namespace velmoria::filter {

// "<preferences>.status": the daemon following a preferences file tells the app through this file
// whether it enforces. It holds an exclusive lock on the file for as long as it runs (the kernel lets
// go when the process dies, however it dies) and writes "idle" or "enforcing" into it.
std::filesystem::path daemonStatusPath(const std::filesystem::path& preferences);

class DaemonStatusError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class DaemonStatusFile {
 public:
  // Throws DaemonStatusError when the file cannot be made or another daemon holds it.
  explicit DaemonStatusFile(const std::filesystem::path& preferences);
  ~DaemonStatusFile();
  DaemonStatusFile(const DaemonStatusFile&) = delete;
  DaemonStatusFile& operator=(const DaemonStatusFile&) = delete;

  void setEnforcing(bool enforcing);

 private:
  int fd_ = -1;
};

// One daemon per network namespace, since they all would share the one table. Held while the
// object lives; the kernel lets go when the process dies.
class NetworkNamespaceClaim {
 public:
  // Throws DaemonStatusError when another process holds the claim.
  NetworkNamespaceClaim();
  ~NetworkNamespaceClaim();
  NetworkNamespaceClaim(const NetworkNamespaceClaim&) = delete;
  NetworkNamespaceClaim& operator=(const NetworkNamespaceClaim&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace velmoria::filter
