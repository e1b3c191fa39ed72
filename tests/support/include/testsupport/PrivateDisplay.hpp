#pragma once

#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "testsupport/ChildProcess.hpp"
#include "testsupport/ScopedEnvironment.hpp"

namespace velmoria::testsupport {

// An X server of the test's own (Xvfb, no window manager) as DISPLAY for the scope. Where Xvfb is not
// installed or does not start, `available()` is false and DISPLAY is left as it was.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    if (::access("/usr/bin/Xvfb", X_OK) != 0) return;
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "/bin/sh", "-c", "exec /usr/bin/Xvfb -displayfd 1 -screen 0 640x480x24 -nolisten tcp 2>/dev/null"});
    const auto number = server_->readLine(std::chrono::seconds(30));
    if (!number || number->empty()) {
      server_.reset();
      return;
    }
    display_.emplace("DISPLAY", ":" + *number);
    wayland_.emplace("WAYLAND_DISPLAY", std::nullopt);
  }
  bool available() const { return display_.has_value(); }

 private:
  std::unique_ptr<ChildProcess> server_;
  std::optional<ScopedEnvironment> display_;
  std::optional<ScopedEnvironment> wayland_;
};

}  // namespace velmoria::testsupport
