#pragma once

namespace velmoria {

// The process-wide quit lock: set while a focus session blocks. Main thread only; never instantiated.
struct SessionGuard {
  SessionGuard() = delete;
  static inline bool isLocked = false;
};

}  // namespace velmoria
