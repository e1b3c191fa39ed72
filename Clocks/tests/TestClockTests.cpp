#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ClockTestSupport.hpp"
#include "clocks/TestClock.hpp"
#include "concurrency/CancellationError.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace clk = zirudeze::clocks;
namespace ir = zirudeze::issuereporting;
using namespace clk::testing;
using zirudeze::concurrency::CancellationError;

namespace {

const ir::SourceLocation runSite{"Tests/Run", "/src/Tests/Run.cpp", 77, 9};

// Spins for a while without blocking, as real work between two sleeps does.
void work(std::chrono::milliseconds length) {
  const auto end = std::chrono::steady_clock::now() + length;
  while (std::chrono::steady_clock::now() < end) {
  }
}

// When a test has already failed, wakes what is still parked so its threads can be joined.
template <class Done>
void releaseSleepers(const clk::TestClock& clock, Done done) {
  for (int i = 0; i < 10000 && !done(); ++i) {
    if (clock.suspensionCount() > 0) clock.advance(1s);
    std::this_thread::sleep_for(1ms);
  }
}

struct Wake {
  clk::Duration deadline;
  clk::Instant seen;
};

}  // namespace

TEST(TestClock, AdvanceWakesDueSleepersInDeadlineOrder) {
  const clk::TestClock clock;
  std::mutex mutex;
  std::vector<Wake> wakes;
  const auto woken = [&] {
    std::lock_guard lock(mutex);
    return wakes.size();
  };
  // Declared last, so a failed assertion cancels the sleepers still parked before anything else goes.
  std::vector<std::jthread> sleepers;
  for (const auto deadline : {1s, 3s, 2s}) {
    sleepers.emplace_back([&, deadline = clk::Duration(deadline)](std::stop_token stop) {
      try {
        clock.sleepUntil(at(deadline), std::nullopt, stop);
      } catch (const CancellationError&) {
        return;
      }
      const auto seen = clock.now();
      std::lock_guard lock(mutex);
      wakes.push_back({deadline, seen});
    });
    ASSERT_TRUE(waitForSleepers(clock, sleepers.size()));
  }
  clock.advance(2s);
  ASSERT_TRUE(waitUntil([&] { return woken() >= 2; })) << "sleepers due by 2 s that woke: " << woken();
  EXPECT_EQ(clock.now(), at(2s));
  EXPECT_EQ(clock.suspensionCount(), 1u) << "the 3 s sleeper stays parked";
  ASSERT_EQ(woken(), 2u);
  EXPECT_EQ(wakes[0].deadline, 1s);
  EXPECT_EQ(wakes[1].deadline, 2s);
  for (const auto& wake : wakes) {
    EXPECT_GE(wake.seen.offset, wake.deadline);
    EXPECT_LE(wake.seen.offset, 2s);
  }
  clock.advance(1s);
  ASSERT_TRUE(waitUntil([&] { return woken() >= 3; })) << "the 3 s sleeper did not wake at 3 s";
  EXPECT_EQ(wakes[2].seen, at(3s));
}

TEST(TestClock, SleepingUntilNowParksAndPastDeadlinesReturn) {
  const clk::TestClock clock(at(5s));
  clock.sleepUntil(at(4s));  // already past: returns without parking
  EXPECT_EQ(clock.suspensionCount(), 0u);

  std::thread sleeper([&] { clock.sleepUntil(at(5s)); });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  EXPECT_THROW(clock.checkSuspension(), clk::SuspensionError);
  clock.advance(0s);
  sleeper.join();
  EXPECT_NO_THROW(clock.checkSuspension());

  clock.advance(at(1s));
  EXPECT_EQ(clock.now(), at(5s)) << "advancing into the past changes nothing";
}

TEST(TestClock, ACancelledSleeperLeavesAndFails) {
  const clk::TestClock clock;
  std::stop_source stop;
  std::atomic<bool> cancelled = false;
  std::thread sleeper([&] {
    try {
      clock.sleepUntil(at(10s), std::nullopt, stop.get_token());
    } catch (const CancellationError&) {
      cancelled = true;
    }
  });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  stop.request_stop();
  sleeper.join();
  EXPECT_TRUE(cancelled.load());
  EXPECT_EQ(clock.suspensionCount(), 0u);
  std::stop_source already;
  already.request_stop();
  EXPECT_THROW(clock.sleepUntil(at(1s), std::nullopt, already.get_token()), CancellationError);
  EXPECT_EQ(clock.suspensionCount(), 0u);
}

// Cancellation racing an advance that wakes the same sleeper: every sleeper ends exactly once,
// either woken or cancelled, and the list ends empty.
TEST(TestClock, CancellationRacingAdvanceNeverResumesTwice) {
  for (int round = 0; round < 50; ++round) {
    const clk::TestClock clock;
    std::stop_source stop;
    std::atomic<int> ended = 0;
    std::vector<std::thread> sleepers;
    for (int i = 0; i < 4; ++i) {
      sleepers.emplace_back([&, i] {
        try {
          clock.sleepUntil(at(std::chrono::milliseconds(i)), std::nullopt, stop.get_token());
        } catch (const CancellationError&) {
        }
        ++ended;
      });
    }
    ASSERT_TRUE(waitForSleepers(clock, 4));
    std::thread canceller([&] { stop.request_stop(); });
    clock.advance(10ms);
    canceller.join();
    for (auto& sleeper : sleepers) sleeper.join();
    EXPECT_EQ(ended.load(), 4);
    EXPECT_EQ(clock.suspensionCount(), 0u);
  }
}

TEST(TestClock, RunDrivesARepeatedSleeperToTheEnd) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  const clk::TestClock clock;
  std::atomic<int> ticks = 0;
  std::thread sleeper([&] {
    try {
      for (int i = 0; i < 10; ++i) {
        clock.sleep(1s);
        ++ticks;
      }
    } catch (const CancellationError&) {
    }
  });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  // The timeout only guards against a hang: every step mega-yields, which takes long on a loaded machine.
  ir::withIssueReporters({reporter}, [&] { clock.run(60s, runSite); });
  EXPECT_EQ(ticks.load(), 10) << "run returned while the sleeper still had sleeps to go";
  sleeper.join();
  EXPECT_EQ(clock.now(), at(10s));
  EXPECT_TRUE(reporter->calls().empty());
}

TEST(TestClock, RunWaitsForAWokenSleeperThatWorksBeforeItSleepsAgain) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  const clk::TestClock clock;
  std::atomic<int> ticks = 0;
  std::thread sleeper([&] {
    try {
      for (int i = 0; i < 5; ++i) {
        clock.sleep(1s);
        work(30ms);
        ++ticks;
      }
    } catch (const CancellationError&) {
    }
  });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  ir::withIssueReporters({reporter}, [&] { clock.run(60s, runSite); });
  EXPECT_EQ(ticks.load(), 5) << "run took a working sleeper for an idle clock";
  releaseSleepers(clock, [&] { return ticks.load() == 5; });
  sleeper.join();
  EXPECT_EQ(clock.now(), at(5s));
  EXPECT_TRUE(reporter->calls().empty());
}

TEST(TestClock, AdvanceHandsOverToEachSleeperBeforeTimeMovesOn) {
  const clk::TestClock clock;
  std::vector<clk::Instant> seen;
  std::atomic<bool> finished = false;
  std::thread sleeper([&] {
    clock.sleep(1s);
    work(150ms);
    seen.push_back(clock.now());
    clock.sleep(1s);  // parks at 1 s for 2 s, inside the same advance
    seen.push_back(clock.now());
    finished = true;
  });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  clock.advance(5s);
  EXPECT_TRUE(finished.load()) << "the second sleep parked after the advance was over";
  releaseSleepers(clock, [&] { return finished.load(); });
  sleeper.join();
  EXPECT_EQ(seen, (std::vector<clk::Instant>{at(1s), at(2s)}));
  EXPECT_EQ(clock.now(), at(5s));
}

TEST(TestClock, RunGivesUpOnAnEndlessTimerAndCancelsItsSleepers) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  const clk::TestClock clock;
  std::atomic<bool> cancelled = false;
  std::atomic<bool> quit = false;
  std::atomic<bool> ended = false;
  std::thread timer([&] {
    try {
      while (!quit.load()) clock.sleep(1s);
    } catch (const CancellationError&) {
      cancelled = true;
    }
    ended = true;
  });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  ir::withIssueReporters({reporter}, [&] { clock.run(200ms, runSite); });
  for (int i = 0; i < 5000 && !ended.load(); ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(cancelled.load()) << "the timer's sleeper was not cancelled";
  if (!ended.load()) {
    quit = true;  // release the timer so the test can end
    while (!ended.load()) {
      clock.advance(1s);
      std::this_thread::sleep_for(1ms);
    }
  }
  timer.join();
  EXPECT_EQ(clock.suspensionCount(), 0u);
  ASSERT_EQ(reporter->calls().size(), 1u);
  const auto call = reporter->calls()[0];
  EXPECT_EQ(call.requirement, "reportIssue(error)");
  EXPECT_STREQ(call.location.fileID, "Tests/Run");
  EXPECT_EQ(call.location.line, 77u);
  EXPECT_EQ(call.text,
            "Expected all sleeps to finish, but some are still suspending after 0.2 seconds.\n\n"
            "There are sleeps suspending. This could mean you are not advancing the test clock far enough for "
            "your feature to execute its logic, or there could be a bug in your feature's logic.\n\n"
            "You can also increase the timeout of 'run' to be greater than 0.2 seconds.");
}

TEST(TestClock, AfterGivingUpTheClockParksSleepersAgain) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  const clk::TestClock clock;
  std::atomic<bool> cancelled = false;
  std::thread timer([&] {
    try {
      while (!cancelled.load()) clock.sleep(1s);
    } catch (const CancellationError&) {
      cancelled = true;
    }
  });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  ir::withIssueReporters({reporter}, [&] { clock.run(100ms, runSite); });
  for (int i = 0; i < 5000 && !cancelled.load(); ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(cancelled.load());
  cancelled = true;
  releaseSleepers(clock, [&] { return clock.suspensionCount() == 0; });
  timer.join();
  std::thread later([&] { clock.sleep(1s); });
  ASSERT_TRUE(waitForSleepers(clock, 1));
  clock.advance(1s);
  later.join();
  EXPECT_EQ(reporter->calls().size(), 1u);
}

TEST(TestClock, RunWithNothingParkedReturnsAtOnce) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  const clk::TestClock clock(at(3s));
  ir::withIssueReporters({reporter}, [&] { clock.run(2s, runSite); });
  EXPECT_EQ(clock.now(), at(3s));
  EXPECT_TRUE(reporter->calls().empty());
}
