#pragma once

#include "velmoria_filter/FlowTracker.hpp"

namespace velmoria::filter {

// Closes local TCP sockets by their addresses through the kernel's socket-diagnostics interface, the
// way `ss -K` does: the owner's next call fails with ECONNABORTED and the peer gets a reset.
class SocketDestroyer {
 public:
  SocketDestroyer();
  ~SocketDestroyer();
  SocketDestroyer(const SocketDestroyer&) = delete;
  SocketDestroyer& operator=(const SocketDestroyer&) = delete;

  // True when a socket with the flow's local (source) and remote (destination) ends was destroyed;
  // false when there is none (it closed already, or the flow is not this machine's).
  // Throws EnforcementError when the kernel refuses.
  bool destroy(const FlowKey& flow);

 private:
  int fd_ = -1;
  unsigned sequence_ = 0;
};

}  // namespace velmoria::filter
