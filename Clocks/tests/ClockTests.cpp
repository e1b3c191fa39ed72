#include <thread>
#include <unordered_set>

#include <gtest/gtest.h>

#include "ClockTestSupport.hpp"
#include "clocks/AnyClock.hpp"
#include "clocks/ClockEnvironment.hpp"
#include "clocks/ImmediateClock.hpp"
#include "clocks/SystemClocks.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/Task.hpp"

namespace clk = zirudeze::clocks;
using namespace clk::testing;
using zirudeze::concurrency::CancellationError;

namespace {
std::stop_token stoppedToken() {
  std::stop_source source;
  source.request_stop();
  return source.get_token();
}
}  // namespace

TEST(Instant, ComparesAndHashesByOffset) {
  const clk::Instant a{1500ms};
  const clk::Instant b{1500ms};
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<clk::Instant>{}(a), std::hash<clk::Instant>{}(b));
  EXPECT_EQ(a.durationTo(a), clk::Duration::zero());
  EXPECT_EQ(a.advanced(500ms).offset, 2s);
  EXPECT_EQ(a.durationTo(clk::Instant{1s}), -500ms);
  EXPECT_LT(a, a.advanced(1ns));
  EXPECT_EQ(clk::describe(1500ms), "1.5 seconds");
  EXPECT_EQ(clk::describe(2s), "2.0 seconds");
}

TEST(AnyClock, StartsAtZeroAndFollowsItsBase) {
  const auto base = std::make_shared<clk::TestClock>(at(100s));
  const clk::AnyClock clock(base);
  EXPECT_EQ(clock.now(), at(0s));
  base->advance(5s);
  EXPECT_EQ(clock.now(), at(5s));
  EXPECT_EQ(clock.minimumResolution(), clk::Duration::zero());

  std::atomic<bool> woke = false;
  std::thread sleeper([&] {
    clock.sleepUntil(at(7s));
    woke = true;
  });
  ASSERT_TRUE(waitForSleepers(*base, 1));
  base->advance(at(106s));
  EXPECT_FALSE(woke.load()) << "the base sleep is until 107 s";
  base->advance(at(107s));
  sleeper.join();
  EXPECT_TRUE(woke.load());
  EXPECT_EQ(clock.now(), at(7s));
}

TEST(ImmediateClock, SleepsJumpToTheDeadlineEvenBackwards) {
  const clk::ImmediateClock clock(at(10s));
  clock.sleepUntil(at(12s));
  EXPECT_EQ(clock.now(), at(12s));
  clock.sleepUntil(at(3s));
  EXPECT_EQ(clock.now(), at(3s));
  clock.sleep(2s);
  EXPECT_EQ(clock.now(), at(5s));
}

TEST(ImmediateClock, ACancelledSleepThrowsAndLeavesTheTime) {
  const clk::ImmediateClock clock(at(1s));
  EXPECT_THROW(clock.sleepUntil(at(9s), std::nullopt, stoppedToken()), CancellationError);
  EXPECT_EQ(clock.now(), at(1s));
  // The current task's cancellation reaches a sleep that was given no token.
  zirudeze::concurrency::Task<void> task([&](std::stop_token) {
    while (!zirudeze::concurrency::isCurrentTaskCancelled()) std::this_thread::sleep_for(1ms);
    clock.sleepUntil(at(9s));
  });
  task.cancel();
  EXPECT_THROW(task.value(), CancellationError);
  EXPECT_EQ(clock.now(), at(1s));
}

TEST(SystemClocks, SleepForRealAndStopWhenCancelled) {
  const clk::ContinuousClock continuous;
  const clk::SuspendingClock suspending;
  EXPECT_GT(continuous.minimumResolution(), clk::Duration::zero());
  const auto before = suspending.now();
  continuous.sleep(30ms);
  EXPECT_GE(before.durationTo(suspending.now()), 30ms);

  std::stop_source stop;
  std::thread canceller([&] {
    std::this_thread::sleep_for(20ms);
    stop.request_stop();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(continuous.sleep(30s, stop.get_token()), CancellationError);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  canceller.join();
  continuous.sleepUntil(continuous.now().advanced(-1s));  // a past deadline returns at once
}

TEST(ClockEnvironment, DefaultsAreMadeOnceAndCanBeReplaced) {
  const clk::ClockEnvironment first;
  clk::ClockEnvironment second;
  EXPECT_EQ(first.continuousClock, second.continuousClock);
  EXPECT_EQ(first.suspendingClock, second.suspendingClock);
  EXPECT_NE(first.continuousClock, first.suspendingClock);
  second.continuousClock = std::make_shared<clk::ImmediateClock>();
  EXPECT_NE(first.continuousClock, second.continuousClock);
}
