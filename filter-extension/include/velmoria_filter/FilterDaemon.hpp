#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "velmoria_filter/FilterConfiguration.hpp"
#include "velmoria_filter/FilterLog.hpp"
#include "velmoria_filter/FlowEnforcer.hpp"
#include "velmoria_filter/FlowTracker.hpp"
#include "velmoria_filter/LiveCapture.hpp"
#include "velmoria_filter/WebFilterProvider.hpp"

namespace velmoria::filter {

class DaemonStatusFile;

// Stands in for the system that hosts the provider: starts it when the app's saved configuration
// becomes enabled (handing it that configuration), restarts it when a save changes the configuration
// while it stays enabled, and stops it when the configuration is disabled or removed. While the
// provider runs, every new outbound flow of the live capture goes to it and its drop verdicts are
// enforced.
class FilterDaemon {
 public:
  struct Enforcement {
    FlowEnforcer& enforcer;
    // Opened when the provider starts, closed when it stops.
    std::function<std::unique_ptr<PacketSource>()> openSource;
    std::shared_ptr<FilterLog> log;
    DaemonStatusFile* status = nullptr;
    // Told of each enforced drop with the capture time of the packet that decided it (benchmarks).
    std::function<void(const FlowDecision&, std::chrono::system_clock::time_point captured)> onEnforced;
  };

  // The provider fails to start enforcing: the capture or the rules cannot be set up.
  class StartError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  FilterDaemon(WebFilterProvider& provider, std::filesystem::path preferences, Enforcement enforcement);
  ~FilterDaemon();
  FilterDaemon(const FilterDaemon&) = delete;
  FilterDaemon& operator=(const FilterDaemon&) = delete;

  // Reads the preferences file again and starts, restarts or stops the provider as it says.
  // Throws StartError when enforcing cannot start; the provider is stopped again then.
  void reload();
  bool isRunning() const { return running_; }

  // Hands the capture's waiting packets to the provider and enforces what it drops.
  void readPackets();
  // Judges flows that waited too long for their first bytes, forgets idle ones and logs packets the
  // kernel dropped because the capture fell behind.
  void tick(FlowTracker::Clock::time_point now);

  // Removes rules an earlier run left, then watches the file until SIGTERM or SIGINT (SIGHUP reloads),
  // then stops a running provider. Returns the process exit status: 0, or 1 when enforcing failed.
  int run();

 private:
  void start(const StoredFilterConfiguration& stored);
  void stop(long reason);
  void enforce(const FlowDecision& decision);
  void logCaptureDrops();

  WebFilterProvider& provider_;
  std::filesystem::path preferences_;
  Enforcement enforcement_;
  bool running_ = false;
  std::optional<ProviderConfiguration> startedWith_;
  std::unique_ptr<PacketSource> source_;
  FlowTracker tracker_;
  std::chrono::system_clock::time_point packetCaptured_;
  std::uint64_t droppedLogged_ = 0;
};

}  // namespace velmoria::filter
