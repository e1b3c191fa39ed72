#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/MainScheduler.hpp"

namespace velmoria {

// The two animated numbers of the session ring, stepped by frames of a main-thread scheduler so tests
// can advance time: the glow's endless pulse and the arc's sweep.
class RingAnimator {
 public:
  static constexpr std::chrono::milliseconds frame{16};
  // The glow changes slowly and forever: fewer frames keep the app near idle while it pulses, and at the
  // /proc poll's pace the two share their wake-ups.
  static constexpr std::chrono::milliseconds pulseFrame{250};
  static constexpr std::chrono::milliseconds pulseDuration{1500};  // each way, ease-in-and-out
  static constexpr std::chrono::milliseconds sweepDuration{300};   // ease-out

  // `onChange` runs after every frame that moved a value (the ring redraws there).
  RingAnimator(platform::MainScheduler& scheduler, std::function<void()> onChange);

  double glowPulse() const { return glow_; }
  double arcProgress() const { return arc_; }

  // Swings the glow from 0.7 to 1.0 and back, forever, until stop().
  void startPulse();
  // Sets the arc: at once, or swept from where it is now.
  void setArcProgress(double target, bool animated);
  // Stops both animations where they are.
  void stop();
  // Stops both, the arc at the end of its sweep: for a ring no one sees.
  void settle();
  bool isRunning() const;

 private:
  using Clock = std::chrono::system_clock;
  void tick();
  // Runs the timer at the rate the running animations need, or stops it.
  void schedule();

  platform::MainScheduler& scheduler_;
  std::function<void()> onChange_;
  std::unique_ptr<platform::MainTimer> timer_;
  std::chrono::milliseconds interval_{0};
  double glow_ = 0.7;
  double arc_ = 0;
  std::optional<Clock::time_point> pulseStart_;
  struct Sweep {
    Clock::time_point start;
    double from;
    double to;
  };
  std::optional<Sweep> sweep_;
};

}  // namespace velmoria
