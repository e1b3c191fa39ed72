#include <QEasingCurve>
#include <cmath>

#include <gtest/gtest.h>

#include "velmoria/RingAnimator.hpp"

using namespace std::chrono_literals;
using velmoria::RingAnimator;

namespace {

TEST(RingAnimator, TheGlowSwingsBetweenItsBoundsEaseInOutAndReversesAtALowFrameRate) {
  velmoria::platform::ManualScheduler clock;
  int redraws = 0;
  RingAnimator animator(clock, [&] { ++redraws; });
  const auto glowAt = [](double seconds) {
    double t = std::fmod(seconds, 3.0) / 1.5;
    if (t > 1) t = 2 - t;
    return 0.7 + 0.3 * QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(t);
  };
  animator.startPulse();
  EXPECT_DOUBLE_EQ(animator.glowPulse(), 0.7);
  clock.advance(850ms);  // the last frame came at 750 ms
  EXPECT_NEAR(animator.glowPulse(), glowAt(0.75), 1e-9);
  EXPECT_NEAR(animator.glowPulse(), 0.85, 0.01);
  clock.advance(700ms);
  EXPECT_NEAR(animator.glowPulse(), glowAt(1.5), 1e-9);
  EXPECT_NEAR(animator.glowPulse(), 1.0, 0.01);
  clock.advance(750ms);  // on the way down again
  EXPECT_NEAR(animator.glowPulse(), glowAt(2.25), 1e-9);
  EXPECT_LT(animator.glowPulse(), 0.9);
  clock.advance(750ms);
  EXPECT_NEAR(animator.glowPulse(), 0.7, 1e-9);
  EXPECT_EQ(redraws, 12) << "four frames a second";
  // Many periods later it is still within bounds and running.
  for (int i = 0; i < 400; ++i) {
    clock.advance(37ms);
    ASSERT_GE(animator.glowPulse(), 0.7 - 1e-9);
    ASSERT_LE(animator.glowPulse(), 1.0 + 1e-9);
  }
  EXPECT_TRUE(animator.isRunning());
  animator.stop();
  const int before = redraws;
  clock.advance(1s);
  EXPECT_EQ(redraws, before);
}

TEST(RingAnimator, ASweepRunsAtFullFrameRateThenThePulseSlowsDownAgain) {
  velmoria::platform::ManualScheduler clock;
  int redraws = 0;
  RingAnimator animator(clock, [&] { ++redraws; });
  animator.startPulse();
  animator.setArcProgress(1, /*animated=*/true);
  redraws = 0;
  clock.advance(304ms);
  EXPECT_DOUBLE_EQ(animator.arcProgress(), 1);
  EXPECT_GE(redraws, 18);
  redraws = 0;
  clock.advance(1s);
  EXPECT_LE(redraws, 6);
  EXPECT_TRUE(animator.isRunning());
}

TEST(RingAnimator, TheArcSweepsEaseOutAndThenStopsTheFrames) {
  velmoria::platform::ManualScheduler clock;
  RingAnimator animator(clock, [] {});
  animator.setArcProgress(1, /*animated=*/false);
  EXPECT_DOUBLE_EQ(animator.arcProgress(), 1);
  EXPECT_FALSE(animator.isRunning());

  animator.setArcProgress(0, /*animated=*/true);
  clock.advance(144ms);  // near the middle: ease-out has done about three quarters of the way
  EXPECT_NEAR(animator.arcProgress(), 1 - 0.73, 0.03);
  clock.advance(304ms - 144ms);
  EXPECT_DOUBLE_EQ(animator.arcProgress(), 0);
  EXPECT_FALSE(animator.isRunning());

  // A sweep that reverses half way starts from where the arc is.
  animator.setArcProgress(1, true);
  clock.advance(96ms);
  const double midway = animator.arcProgress();
  animator.setArcProgress(0, true);
  clock.advance(16ms);
  EXPECT_LT(animator.arcProgress(), midway);
  EXPECT_GT(animator.arcProgress(), 0);
}

}  // namespace
