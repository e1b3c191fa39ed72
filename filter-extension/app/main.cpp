// velmoria-filter: runs the web filter while the app's filter configuration is enabled, or replays
// a packet capture through it.
#include "velmoria_filter/CaptureReplay.hpp"
#include "velmoria_filter/FilterDaemon.hpp"

#include <syslog.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr const char* subsystem = "com.tandrelkoss.kelvaton.velmoriaProxy";
constexpr const char* category = "filter";

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
  // A replay also copies the log to standard error, so its drops can be seen beside the verdicts.
  openlog("velmoria-filter", LOG_PID | (replay ? LOG_PERROR : 0), LOG_DAEMON);
  auto log = std::make_shared<velmoria::filter::SyslogFilterLog>(subsystem, category);
  velmoria::filter::WebFilterProvider provider(log);

  if (!replay) {
    velmoria::filter::FilterDaemon daemon(provider, preferences);
    return daemon.run();
  }

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
