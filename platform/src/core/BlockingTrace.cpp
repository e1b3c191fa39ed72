#include "platform/BlockingTrace.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace velmoria::platform::blockingtrace {
namespace {

Capture* gCapture = nullptr;

bool fromEnvironment() {
  const char* value = std::getenv("VELMORIA_TRACE");
  return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

const std::chrono::steady_clock::time_point gStart = std::chrono::steady_clock::now();

}  // namespace

bool enabled() {
  static const bool fromEnv = fromEnvironment();
  return gCapture != nullptr || fromEnv;
}

void write(std::string_view event) {
  if (!enabled()) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - gStart).count();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "velmoria-trace %.3f ", seconds);
  std::string line = stamp;
  line += event;
  line += '\n';
  if (gCapture != nullptr) {
    gCapture->text_ += line;
    return;
  }
  // One write per line, so lines of other writers never cut into it.
  [[maybe_unused]] const auto n = ::write(STDERR_FILENO, line.data(), line.size());
}

Capture::Capture() : previous_(gCapture) { gCapture = this; }

Capture::~Capture() { gCapture = previous_; }

}  // namespace velmoria::platform::blockingtrace
