#include "velmoria/RingAnimator.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using velmoria::RingAnimator;

namespace {

TEST(RingAnimator, TheGlowSwingsBetweenItsBoundsEaseInOutAndReverses) {
  platform::ManualScheduler clock;
  int redraws = 0;
  RingAnimator animator(clock, [&] { ++redraws; });
  animator.startPulse();
  EXPECT_DOUBLE_EQ(animator.glowPulse(), 0.7);
  clock.advance(752ms);  // a frame boundary just past the middle of the way up
  EXPECT_NEAR(animator.glowPulse(), 0.85, 0.01);
  clock.advance(1504ms - 752ms);
  EXPECT_NEAR(animator.glowPulse(), 1.0, 0.01);
  clock.advance(2256ms - 1504ms);  // half way down again
  EXPECT_NEAR(animator.glowPulse(), 0.85, 0.01);
  clock.advance(3008ms - 2256ms);
  EXPECT_NEAR(animator.glowPulse(), 0.7, 0.01);
  EXPECT_GT(redraws, 150);
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

TEST(RingAnimator, TheArcSweepsEaseOutAndThenStopsTheFrames) {
  platform::ManualScheduler clock;
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
