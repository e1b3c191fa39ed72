#include "platform/desktop/QtScheduler.hpp"

#include <QTimer>

namespace velmoria::platform::desktop {
namespace {

class QtMainTimer final : public MainTimer {
 public:
  explicit QtMainTimer(std::function<void()> onFire) {
    QObject::connect(&timer_, &QTimer::timeout, [fire = std::move(onFire)] { fire(); });
  }
  void start(std::chrono::milliseconds interval, bool repeats) override {
    // Animation frames keep their pace. Slower timers may shift by up to 5 %, which lets Qt fire the ones
    // whose intervals share a boundary (the /proc poll, the glows, the clock) in one wake-up.
    timer_.setTimerType(interval < std::chrono::milliseconds(100) ? Qt::PreciseTimer : Qt::CoarseTimer);
    timer_.setSingleShot(!repeats);
    timer_.start(interval);
  }
  void stop() override { timer_.stop(); }
  bool isActive() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

std::unique_ptr<MainTimer> QtScheduler::createTimer(std::function<void()> onFire) {
  return std::make_unique<QtMainTimer>(std::move(onFire));
}

}  // namespace velmoria::platform::desktop
