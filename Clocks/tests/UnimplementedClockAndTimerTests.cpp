#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "ClockTestSupport.hpp"
#include "clocks/ImmediateClock.hpp"
#include "clocks/TimerSequence.hpp"
#include "clocks/UnimplementedClock.hpp"
#include "issuereporting/IssueContext.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace clk = zirudeze::clocks;
namespace ir = zirudeze::issuereporting;
using namespace clk::testing;

TEST(UnimplementedClock, ReportsEachUseAndStillWorks) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  const ir::SourceLocation site{"Feature/Model", "/src/Feature/Model.cpp", 5, 2};
  ir::withIssueReporters({reporter}, [&] {
    const clk::UnimplementedClock clock(site);
    EXPECT_EQ(clock.now(), at(0s));
    EXPECT_EQ(clock.now(), at(0s));
    EXPECT_EQ(clock.minimumResolution(), clk::Duration::zero());
    clock.sleepUntil(at(4s));
    EXPECT_EQ(clock.now(), at(4s)) << "its base is an immediate clock";
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].text, "Unimplemented: Clock.now");
  EXPECT_EQ(calls[1].text, "Unimplemented: Clock.now");
  EXPECT_EQ(calls[2].text, "Unimplemented: Clock.minimumResolution");
  EXPECT_EQ(calls[3].text, "Unimplemented: Clock.sleep");
  EXPECT_STREQ(calls[0].location.fileID, "Feature/Model");
  EXPECT_EQ(calls[0].requirement, "reportIssue(error)");
}

TEST(UnimplementedClock, NamedAloneReportsAtItsOwnFileAndHonoursTheContext) {
  const auto reporter = std::make_shared<ir::testing::RecordingReporter>();
  const ir::SourceLocation context{"Ctx/Here", "/src/Ctx/Here.cpp", 1, 1};
  ir::withIssueReporters({reporter}, [&] {
    const clk::UnimplementedClock clock("continuousClock");
    clock.now();
    ir::withIssueContext(context, [&] { clock.now(); });
    const clk::UnimplementedClock over(std::make_shared<clk::ImmediateClock>(at(50s)), "base", context);
    EXPECT_EQ(over.now(), at(0s));
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].text, "Unimplemented: continuousClock.now");
  EXPECT_STREQ(calls[0].location.fileID, "Clocks/UnimplementedClock");
  EXPECT_EQ(calls[0].location.line, 163u);
  EXPECT_EQ(calls[0].location.column, 16u);
  EXPECT_STREQ(calls[1].location.fileID, "Ctx/Here");
  EXPECT_EQ(calls[2].text, "Unimplemented: base.now");
}

TEST(TimerSequence, TicksOnTheGridAsTheClockAdvances) {
  const auto clock = std::make_shared<clk::TestClock>();
  auto ticks = clk::timer(clock, 1s).makeIterator();
  std::vector<clk::Instant> seen;
  std::thread consumer([&] {
    for (int i = 0; i < 3; ++i) seen.push_back(*ticks.next());
  });
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(waitForSleepers(*clock, 1));
    clock->advance(1s);
  }
  consumer.join();
  EXPECT_EQ(seen, (std::vector<clk::Instant>{at(1s), at(2s), at(3s)}));
}

TEST(TimerSequence, ALateConsumerGetsOneTickAtOnceThenTheGridResumes) {
  const auto clock = std::make_shared<clk::ImmediateClock>();
  auto ticks = clk::timer(clock, 1s).makeIterator();
  EXPECT_EQ(ticks.next(), at(1s));
  clock->sleepUntil(at(5500ms));  // the consumer was busy until 5.5 s
  EXPECT_EQ(ticks.next(), at(5s)) << "due at the grid point just passed, so it fires at once";
  EXPECT_EQ(ticks.next(), at(6s));
}

TEST(TimerSequence, CancellationEndsTheSequenceForGood) {
  const auto clock = std::make_shared<clk::TestClock>();
  auto ticks = clk::timer(clock, 1s).makeIterator();
  std::stop_source stop;
  std::optional<clk::Instant> first = at(-1s);
  std::thread consumer([&] { first = ticks.next(stop.get_token()); });
  ASSERT_TRUE(waitForSleepers(*clock, 1));
  stop.request_stop();
  consumer.join();
  EXPECT_EQ(first, std::nullopt);
  EXPECT_EQ(ticks.next(), std::nullopt) << "ended: no new sleep";
  EXPECT_EQ(clock->suspensionCount(), 0u);
}

TEST(TimerSequence, AnIntervalOfZeroOrLessIsRefusedWhenMade) {
  const auto clock = std::make_shared<clk::ImmediateClock>();
  EXPECT_THROW(clk::timer(clock, 0s), std::invalid_argument);
  EXPECT_THROW(clk::timer(clock, -1s), std::invalid_argument);
}
