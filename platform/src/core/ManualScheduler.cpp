#include <algorithm>

#include "platform/MainScheduler.hpp"

namespace velmoria::platform {
namespace {

class ManualTimer final : public MainTimer {
 public:
  ManualTimer(std::shared_ptr<ManualScheduler::State> state, const ManualScheduler& scheduler,
              unsigned long long& nextOrder)
      : state_(std::move(state)), scheduler_(scheduler), nextOrder_(nextOrder) {}
  void start(std::chrono::milliseconds interval, bool repeats) override {
    state_->interval = std::max(interval, std::chrono::milliseconds(0));
    state_->repeats = repeats;
    state_->deadline = scheduler_.now() + state_->interval;
    state_->active = true;
    state_->order = nextOrder_++;
  }
  void stop() override { state_->active = false; }
  bool isActive() const override { return state_->active; }

 private:
  std::shared_ptr<ManualScheduler::State> state_;
  const ManualScheduler& scheduler_;
  unsigned long long& nextOrder_;
};

}  // namespace

ManualScheduler::ManualScheduler()
    : now_(std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 365 * 50)) {}

std::unique_ptr<MainTimer> ManualScheduler::createTimer(std::function<void()> onFire) {
  auto state = std::make_shared<State>();
  state->onFire = std::move(onFire);
  timers_.push_back(state);
  return std::make_unique<ManualTimer>(state, *this, nextOrder_);
}

void ManualScheduler::advance(std::chrono::milliseconds by) {
  const auto target = now_ + by;
  for (;;) {
    std::shared_ptr<State> next;
    for (const auto& weak : timers_) {
      auto s = weak.lock();
      if (!s || !s->active || s->deadline > target) continue;
      if (!next || s->deadline < next->deadline || (s->deadline == next->deadline && s->order < next->order)) next = s;
    }
    if (!next) break;
    now_ = next->deadline;
    if (next->repeats && next->interval.count() > 0) {
      next->deadline += next->interval;
    } else {
      next->active = false;
    }
    auto fire = next->onFire;  // the callback may destroy its own timer
    if (fire) fire();
  }
  now_ = target;
  std::erase_if(timers_, [](const std::weak_ptr<State>& w) { return w.expired(); });
}

int ManualScheduler::activeTimerCount() const {
  return static_cast<int>(std::count_if(timers_.begin(), timers_.end(), [](const std::weak_ptr<State>& w) {
    const auto s = w.lock();
    return s && s->active;
  }));
}

}  // namespace velmoria::platform
