#include <atomic>

#include "LegacyTestSupport.hpp"
#include "clocks/SystemClocks.hpp"
#include "realtime/legacy/HeartbeatTimer.hpp"
#include "realtime/legacy/TimeoutTimer.hpp"

namespace zirudeze::realtime::testing {
namespace {

TEST(LegacyTimerQueue, DelaysAreWholeMillisecondsRoundedHalfAway) {
  EXPECT_EQ(TimerQueue::wholeMilliseconds(0.0005), 1);
  EXPECT_EQ(TimerQueue::wholeMilliseconds(0.0004), 0);
  EXPECT_EQ(TimerQueue::wholeMilliseconds(0.0015), 2);
  EXPECT_EQ(TimerQueue::wholeMilliseconds(10.0), 10000);
  EXPECT_EQ(TimerQueue::wholeMilliseconds(-1.0), 0);
  EXPECT_EQ(TimerQueue::wholeMilliseconds(std::nan("")), 0);
}

TEST(LegacyTimerQueue, MainRunsWorkOnTheRealClock) {
  std::atomic<int> runs = 0;
  TimerQueue::main()->queue(0.001, std::make_shared<WorkItem>([&] { ++runs; }));
  EXPECT_TRUE(eventually([&] { return runs == 1; }));
}

class LegacyTimers : public TestClockTimers {};

TEST_F(LegacyTimers, WorkRunsAtItsDeadlineInOrderAndNeverOnceCancelled) {
  std::vector<std::string> ran;
  std::mutex mutex;
  const auto record = [&](std::string name) {
    return std::make_shared<WorkItem>([&, name] {
      std::lock_guard lock(mutex);
      ran.push_back(name);
    });
  };
  const auto queue = TimerQueue::main();
  ASSERT_EQ(queue, timers.queue());
  queue->queue(0.010, record("late"));
  queue->queue(0.0005, record("first"));
  auto cancelled = record("cancelled");
  queue->queue(0.005, cancelled);
  cancelled->cancel();
  advance(0.001);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(ran, std::vector<std::string>{"first"});
  }
  advance(0.008);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(ran, std::vector<std::string>{"first"});
  }
  advance(0.001);
  std::lock_guard lock(mutex);
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "late"}));
}

TEST_F(LegacyTimers, SchedulingTwiceLeavesOneItemOnTheSameTry) {
  auto owner = std::make_shared<int>(0);
  std::vector<int> asked;
  int fired = 0;
  TimeoutTimer timer;
  timer.callback.bindDirect([&] { ++fired; });
  timer.timerCalculation.bindWeak(std::weak_ptr<int>(owner), [&](int&, int tries) -> std::optional<double> {
    asked.push_back(tries);
    return 1.0;
  });
  timer.scheduleTimeout();
  timer.scheduleTimeout();
  EXPECT_EQ(asked, (std::vector<int>{1, 1}));
  EXPECT_EQ(timers.queue()->pendingCount(), 1u);
  advance(1.0);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(timer.tries(), 1);

  timer.scheduleTimeout();
  timer.reset();
  timer.scheduleTimeout();
  EXPECT_EQ(asked, (std::vector<int>{1, 1, 2, 1}));

  // Without its owner the delay is nothing, and nothing is scheduled.
  timer.reset();
  owner.reset();
  timer.scheduleTimeout();
  EXPECT_EQ(timers.queue()->pendingCount(), 0u);
  advance(5.0);
  EXPECT_EQ(fired, 1);
}

TEST_F(LegacyTimers, AHeartbeatTicksFirstAfterItsIntervalAndStopsForGood) {
  std::atomic<int> ticks = 0;
  HeartbeatTimer heartbeat(30.0, std::chrono::milliseconds(10), TimerQueue::main());
  heartbeat.start([&] { ++ticks; });
  advance(29.999);
  EXPECT_EQ(ticks, 0);
  advance(0.001);
  EXPECT_EQ(ticks, 1);
  advance(30.0);
  EXPECT_EQ(ticks, 2);
  heartbeat.stop();
  advance(60.0);
  EXPECT_EQ(ticks, 2);
  HeartbeatTimer other(30.0, std::chrono::milliseconds(10), TimerQueue::main());
  EXPECT_FALSE(heartbeat == other);
}

}  // namespace
}  // namespace zirudeze::realtime::testing
