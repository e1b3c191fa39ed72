#pragma once

#include "velmoria_filter/FilterConfiguration.hpp"
#include "velmoria_filter/WebFilterProvider.hpp"

#include <filesystem>

namespace velmoria::filter {

// Stands in for the system that hosts the provider: starts it when the app's saved configuration becomes
// enabled (handing it that configuration) and stops it when the configuration is disabled or removed.
class FilterDaemon {
 public:
  FilterDaemon(WebFilterProvider& provider, std::filesystem::path preferences);

  // Reads the preferences file again and starts or stops the provider if its enabled flag changed.
  void reload();
  bool isRunning() const { return running_; }

  // Watches the file until SIGTERM or SIGINT (SIGHUP reloads), then stops a running provider.
  // Returns the process exit status.
  int run();

 private:
  WebFilterProvider& provider_;
  std::filesystem::path preferences_;
  bool running_ = false;
};

}  // namespace velmoria::filter
