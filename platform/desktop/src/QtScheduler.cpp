#include "platform/desktop/QtScheduler.hpp"

#include <QTimer>

namespace platform::desktop {
namespace {

class QtMainTimer final : public MainTimer {
 public:
  explicit QtMainTimer(std::function<void()> onFire) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [fire = std::move(onFire)] { fire(); });
  }
  void start(std::chrono::milliseconds interval, bool repeats) override {
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

}  // namespace platform::desktop
