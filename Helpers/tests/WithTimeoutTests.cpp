#include <atomic>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "clocks/TestClock.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/Task.hpp"
#include "helpers/SleepClock.hpp"
#include "helpers/WithTimeout.hpp"

namespace h = zirudeze::helpers;
namespace clk = zirudeze::clocks;
using namespace std::chrono_literals;

namespace {
auto elapsedSince(std::chrono::steady_clock::time_point start) { return std::chrono::steady_clock::now() - start; }
}  // namespace

TEST(WithTimeout, TheOperationFinishingFirstGivesItsValue) {
  const auto start = std::chrono::steady_clock::now();
  const int value = h::withTimeout(1.0, [] {
    std::this_thread::sleep_for(100ms);
    return 42;
  });
  EXPECT_EQ(value, 42);
  EXPECT_LT(elapsedSince(start), 900ms) << "the timer was cancelled, not waited out";
}

TEST(WithTimeout, TheLimitPassingFirstThrowsTimeoutAndStopsTheOperation) {
  std::atomic<bool> sawStop = false;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(h::withTimeout(0.2,
                              [&](std::stop_token token) {
                                try {
                                  h::currentSleepClock()->sleep(5.0, token);
                                } catch (const zirudeze::concurrency::CancellationError&) {
                                  sawStop = true;
                                  throw;
                                }
                                return 1;
                              }),
               h::TimeoutError);
  EXPECT_GE(elapsedSince(start), 200ms);
  EXPECT_LT(elapsedSince(start), 3s);
  EXPECT_TRUE(sawStop.load());
}

TEST(WithTimeout, ReturnsOnlyAfterBothChildrenEnded) {
  std::atomic<bool> operationEnded = false;
  EXPECT_THROW(h::withTimeout(0.05,
                              [&] {
                                // Ignores cancellation: the timeout waits for it.
                                std::this_thread::sleep_for(300ms);
                                operationEnded = true;
                                return std::string("late");
                              }),
               h::TimeoutError);
  EXPECT_TRUE(operationEnded.load());
}

TEST(WithTimeout, TheOperationsOwnErrorWins) {
  EXPECT_THROW(h::withTimeout(5.0, []() -> int { throw std::domain_error("own"); }), std::domain_error);
  EXPECT_THROW(h::withTimeout(0.0, [] { std::this_thread::sleep_for(200ms); }), h::TimeoutError);
}

TEST(WithTimeout, CancellingTheCallerGivesCancellationNotTimeout) {
  zirudeze::concurrency::Task<int> caller([] {
    return h::withTimeout(10.0, [](std::stop_token token) {
      h::currentSleepClock()->sleep(30.0, token);
      return 0;
    });
  });
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  caller.cancel();
  EXPECT_THROW(caller.value(), zirudeze::concurrency::CancellationError);
  EXPECT_LT(elapsedSince(start), 5s);
}

TEST(SleepClock, TheTestClockAdapterSleepsUntilNowPlusTheSeconds) {
  const auto clock = std::make_shared<clk::TestClock>(clk::Instant{10s});
  const h::TestClockSleepClock sleeper(clock);
  std::atomic<bool> woke = false;
  std::thread thread([&] {
    sleeper.sleep(1.5);
    woke = true;
  });
  while (clock->suspensionCount() == 0) std::this_thread::sleep_for(1ms);
  clock->advance(1499ms);
  EXPECT_FALSE(woke.load());
  clock->advance(1ms);
  thread.join();
  EXPECT_TRUE(woke.load());
  EXPECT_EQ(h::secondsToDuration(0.25), 250ms);
  EXPECT_EQ(h::secondsToDuration(std::nan("")), clk::Duration::zero());
  EXPECT_GT(h::secondsToDuration(1e300), clk::Duration::zero());
}

TEST(SleepClock, TheProcessClockSleepsFractionsOfASecond) {
  const auto start = std::chrono::steady_clock::now();
  h::currentSleepClock()->sleep(0.05);
  EXPECT_GE(elapsedSince(start), 50ms);
  EXPECT_EQ(h::currentSleepClock(), h::currentSleepClock());
}

TEST(SleepClock, AScopedClockReplacesTheProcessClockUntilItEnds) {
  const auto original = h::currentSleepClock();
  const auto clock = std::make_shared<clk::TestClock>();
  {
    const h::ScopedSleepClock outer(std::make_shared<h::TestClockSleepClock>(clock));
    const auto replaced = h::currentSleepClock();
    EXPECT_NE(replaced, original);
    {
      const h::ScopedSleepClock inner(std::make_shared<h::ContinuousSleepClock>());
      EXPECT_NE(h::currentSleepClock(), replaced);
    }
    EXPECT_EQ(h::currentSleepClock(), replaced);

    // Sleeps on any thread follow it.
    std::atomic<bool> woke = false;
    zirudeze::concurrency::Task<void> sleeper([&] {
      h::currentSleepClock()->sleep(30.0);
      woke = true;
    });
    while (clock->suspensionCount() == 0) std::this_thread::sleep_for(1ms);
    clock->advance(30s);
    sleeper.value();
    EXPECT_TRUE(woke.load());
  }
  EXPECT_EQ(h::currentSleepClock(), original);
}

TEST(WithTimeout, TheLimitFollowsAScopedTestClock) {
  const auto clock = std::make_shared<clk::TestClock>();
  const h::ScopedSleepClock scoped(std::make_shared<h::TestClockSleepClock>(clock));
  zirudeze::concurrency::Task<int> timed([] {
    return h::withTimeout(10.0, [](std::stop_token token) {
      h::currentSleepClock()->sleep(3600.0, token);
      return 1;
    });
  });
  // Both the operation and the limit sleep on the test clock; real time never ends either.
  while (clock->suspensionCount() < 2) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(timed.isFinished());
  clock->advance(9999ms);
  EXPECT_FALSE(timed.isFinished());
  clock->advance(1ms);
  EXPECT_THROW(timed.value(), h::TimeoutError);
}
