#pragma once

#include "platform/MainScheduler.hpp"

namespace velmoria::platform::desktop {

// Qt timers on the main thread's event loop; they also fire inside nested loops (menus, modal alerts).
// Timers of 100 ms and more are coarse: within 5 % of their interval, on boundaries they share.
class QtScheduler final : public MainScheduler {
 public:
  std::unique_ptr<MainTimer> createTimer(std::function<void()> onFire) override;
  std::chrono::system_clock::time_point now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace velmoria::platform::desktop
