// velmoria-filter: runs the web filter while the app's filter configuration is enabled, or replays
// a packet capture through it.
#include <syslog.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "velmoria_filter/Capabilities.hpp"
#include "velmoria_filter/CaptureReplay.hpp"
#include "velmoria_filter/DaemonStatus.hpp"
#include "velmoria_filter/FilterDaemon.hpp"

namespace {

constexpr const char* subsystem = "com.tandrelkoss.kelvaton.velmoriaProxy";
constexpr const char* category = "filter";

// Exit statuses besides 0 and 1 (failure): 2 a capture that cannot be read, 64 bad usage.
constexpr int exitMissingCapabilities = 77;
constexpr int exitAlreadyRunning = 75;

std::string join(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : " and ") + name;
  return text;
}

int runDaemon(const std::filesystem::path& preferences, const std::shared_ptr<velmoria::filter::FilterLog>& log,
              velmoria::filter::WebFilterProvider& provider) {
  using namespace velmoria::filter;
  if (const auto missing = acquireFilterCapabilities(); !missing.empty()) {
    std::error_code unknown;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", unknown);
    std::cerr << "velmoria-filter: lacks " << join(missing)
              << ", which it needs to see and block traffic; grant them with: sudo scripts/install-filter "
              << self.string() << '\n';
    return exitMissingCapabilities;
  }
  try {
    const NetworkNamespaceClaim claim;
    DaemonStatusFile status(preferences);
    NftablesEnforcer enforcer;
    FilterDaemon daemon(provider, preferences,
                        {enforcer, [] { return std::make_unique<LiveCapture>(); }, log, &status, {}});
    return daemon.run();
  } catch (const DaemonStatusError& error) {
    std::cerr << "velmoria-filter: " << error.what() << '\n';
    return exitAlreadyRunning;
  } catch (const EnforcementError& error) {
    std::cerr << "velmoria-filter: " << error.what() << '\n';
    return 1;
  }
}

void printUsage(std::ostream& out) {
  out << "usage: velmoria-filter [--config FILE]\n"
         "       velmoria-filter --replay CAPTURE.pcap [--config FILE]\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> replay;
  std::optional<std::string> config;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if ((argument == "--replay" || argument == "--config") && i + 1 < argc) {
      (argument == "--replay" ? replay : config) = argv[++i];
    } else if (argument == "--help" || argument == "-h") {
      printUsage(std::cout);
      return 0;
    } else {
      printUsage(std::cerr);
      return 64;
    }
  }

  const auto preferences = config ? std::filesystem::path(*config) : velmoria::filter::defaultFilterPreferencesPath();
  // The log is copied to standard error, so drops can be seen beside a replay's verdicts or in the
  // terminal the daemon runs in.
  openlog("velmoria-filter", LOG_PID | LOG_PERROR, LOG_DAEMON);
  auto log = std::make_shared<velmoria::filter::SyslogFilterLog>(subsystem, category);
  velmoria::filter::WebFilterProvider provider(log);

  if (!replay) return runDaemon(preferences, log, provider);

  provider.startFilter(velmoria::filter::readFilterPreferences(preferences).providerConfiguration, {});
  try {
    const auto result = velmoria::filter::replayCapture(*replay, provider);
    for (const auto& flow : result.flows) std::cout << velmoria::filter::formatReplayLine(flow) << '\n';
    std::cout.flush();
    if (result.readError) {
      std::cerr << "velmoria-filter: capture ends early: " << *result.readError << '\n';
      return 1;
    }
  } catch (const velmoria::filter::CaptureError& error) {
    std::cerr << "velmoria-filter: " << error.what() << '\n';
    return 2;
  }
  return 0;
}
