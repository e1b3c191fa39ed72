#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace velmoria::platform {

// A timer that fires on the main thread.
class MainTimer {
 public:
  virtual ~MainTimer() = default;
  // (Re)starts the timer; a running timer starts over.
  virtual void start(std::chrono::milliseconds interval, bool repeats) = 0;
  // A stopped timer never fires again until started.
  virtual void stop() = 0;
  virtual bool isActive() const = 0;
};

// Main-thread timers and the wall clock, so tests can advance time instead of sleeping.
class MainScheduler {
 public:
  virtual ~MainScheduler() = default;
  virtual std::unique_ptr<MainTimer> createTimer(std::function<void()> onFire) = 0;
  virtual std::chrono::system_clock::time_point now() const = 0;
};

// Time moves only when a test calls advance(); due timers fire in deadline order, each at its own time.
class ManualScheduler final : public MainScheduler {
 public:
  ManualScheduler();
  std::unique_ptr<MainTimer> createTimer(std::function<void()> onFire) override;
  std::chrono::system_clock::time_point now() const override { return now_; }

  void advance(std::chrono::milliseconds by);
  int activeTimerCount() const;

  struct State {
    std::function<void()> onFire;
    std::chrono::system_clock::time_point deadline;
    std::chrono::milliseconds interval{0};
    bool repeats = false;
    bool active = false;
    unsigned long long order = 0;
  };

 private:
  std::chrono::system_clock::time_point now_;
  std::vector<std::weak_ptr<State>> timers_;
  unsigned long long nextOrder_ = 0;
};

}  // namespace velmoria::platform
