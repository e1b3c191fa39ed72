#pragma once

#include <string>
#include <string_view>

// An opt-in trace of what the blocking engine sees and does: the /proc scans, the processes it identifies
// as apps or looks at again, the launches it reports and the kills it sends. It shows after the fact why an
// app lived or died. Off unless VELMORIA_TRACE is set (to anything but "" or "0"); then one line per event
// goes to standard error, "velmoria-trace <seconds since start> <event>". Main thread only.
namespace velmoria::platform::blockingtrace {

bool enabled();
void write(std::string_view event);

// While one lives, the trace is on and its lines are appended here instead (for tests).
class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  const std::string& text() const { return text_; }

 private:
  friend void write(std::string_view event);
  std::string text_;
  Capture* previous_;
};

}  // namespace velmoria::platform::blockingtrace
