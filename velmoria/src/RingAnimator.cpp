#include "velmoria/RingAnimator.hpp"

#include <QEasingCurve>
#include <algorithm>
#include <cmath>

namespace velmoria {
namespace {

double fraction(std::chrono::system_clock::duration elapsed, std::chrono::milliseconds total) {
  return std::clamp(std::chrono::duration<double>(elapsed).count() / std::chrono::duration<double>(total).count(), 0.0,
                    1.0);
}

}  // namespace

RingAnimator::RingAnimator(platform::MainScheduler& scheduler, std::function<void()> onChange)
    : scheduler_(scheduler), onChange_(std::move(onChange)), timer_(scheduler.createTimer([this] { tick(); })) {}

void RingAnimator::startPulse() {
  glow_ = 0.7;
  pulseStart_ = scheduler_.now();
  schedule();
}

void RingAnimator::schedule() {
  if (!pulseStart_ && !sweep_) {
    timer_->stop();
    return;
  }
  const auto wanted = sweep_ ? frame : pulseFrame;
  if (timer_->isActive() && interval_ == wanted) return;
  interval_ = wanted;
  timer_->start(wanted, true);
}

void RingAnimator::setArcProgress(double target, bool animated) {
  target = std::clamp(target, 0.0, 1.0);
  if (!animated) {
    sweep_.reset();
    arc_ = target;
    if (onChange_) onChange_();
    schedule();
    return;
  }
  sweep_ = Sweep{scheduler_.now(), arc_, target};
  schedule();
}

void RingAnimator::stop() {
  pulseStart_.reset();
  sweep_.reset();
  timer_->stop();
}

void RingAnimator::settle() {
  const bool sweeping = sweep_.has_value();
  if (sweeping) arc_ = sweep_->to;
  stop();
  if (sweeping && onChange_) onChange_();
}

bool RingAnimator::isRunning() const { return timer_->isActive(); }

void RingAnimator::tick() {
  const auto now = scheduler_.now();
  if (pulseStart_) {
    // Up in one period, down in the next.
    const double periods = std::chrono::duration<double>(now - *pulseStart_).count() /
                           std::chrono::duration<double>(pulseDuration).count();
    const double whole = std::floor(periods);
    double t = periods - whole;
    if (static_cast<long long>(whole) % 2 == 1) t = 1 - t;
    glow_ = 0.7 + 0.3 * QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(t);
  }
  if (sweep_) {
    const double t = fraction(now - sweep_->start, sweepDuration);
    arc_ = sweep_->from + (sweep_->to - sweep_->from) * QEasingCurve(QEasingCurve::OutQuad).valueForProgress(t);
    if (t >= 1) sweep_.reset();
  }
  schedule();
  if (onChange_) onChange_();
}

}  // namespace velmoria
