#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "helpers/AsyncValueSubject.hpp"

using namespace zirudeze::helpers;
using namespace std::chrono_literals;

namespace {

std::vector<int> take(const AsyncStream<int>& stream, int count) {
  std::vector<int> seen;
  for (int i = 0; i < count; ++i) {
    const auto next = stream.next();
    if (!next) break;
    seen.push_back(*next);
  }
  return seen;
}

TEST(AsyncValueSubject, ANewStreamStartsWithTheCurrentValueAndMissesNothingLater) {
  AsyncValueSubject<int> subject(0);
  subject.yield(1);
  subject.yield(2);
  const auto stream = subject.values();
  for (int v = 3; v <= 6; ++v) subject.yield(v);
  EXPECT_EQ(take(stream, 5), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(subject.value(), 6);
}

TEST(AsyncValueSubject, StreamIdsCountFromOneAndEndingAStreamRemovesOnlyItsOwn) {
  AsyncValueSubject<int> subject(0);
  std::optional<AsyncStream<int>> first = subject.values();
  const auto second = subject.values();
  EXPECT_EQ(subject.consumerIDs(), (std::vector<std::uint64_t>{1, 2}));
  first.reset();
  EXPECT_EQ(subject.consumerIDs(), std::vector<std::uint64_t>{2});
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(second.next(stop.get_token()), 0);
  EXPECT_TRUE(subject.consumerIDs().empty());
  const auto third = subject.values();
  EXPECT_EQ(subject.consumerIDs(), std::vector<std::uint64_t>{3});
}

TEST(AsyncValueSubject, AfterFinishValuesAreIgnoredAndStreamsHaveEnded) {
  AsyncValueSubject<int> subject(1);
  const auto stream = subject.values();
  subject.yield(2);
  subject.finish();
  subject.yield(3);
  subject.finish();
  EXPECT_EQ(subject.value(), 2);
  EXPECT_EQ(take(stream, 5), (std::vector<int>{1, 2}));
  EXPECT_TRUE(subject.consumerIDs().empty());
  // A stream made afterwards gives the last value and ends.
  EXPECT_EQ(take(subject.values(), 5), std::vector<int>{2});
}

TEST(AsyncValueSubject, GoingAwayFinishesItsStreams) {
  std::optional<AsyncValueSubject<int>> subject(std::in_place, 4);
  const auto stream = subject->values();
  Task<std::vector<int>> reader([stream] { return take(stream, 10); });
  subject.reset();
  EXPECT_EQ(reader.value(), std::vector<int>{4});
}

TEST(AsyncValueSubject, BufferingPolicyAppliesToEachConsumer) {
  AsyncValueSubject<int> subject(0, BufferingPolicy::bufferingNewest(1));
  const auto stream = subject.values();
  subject.yield(1);
  subject.yield(2);
  subject.finish();
  EXPECT_EQ(take(stream, 5), std::vector<int>{2});
}

TEST(AsyncValueSubject, OnChangeStopsCallingTheHandlerOnceCancelled) {
  AsyncValueSubject<int> subject(0);
  std::mutex mutex;
  std::vector<int> seen;
  auto task = subject.onChange([&](int v) {
    std::lock_guard lock(mutex);
    seen.push_back(v);
  });
  subject.yield(1);
  for (;;) {
    {
      std::lock_guard lock(mutex);
      if (seen.size() == 2) break;
    }
    std::this_thread::sleep_for(1ms);
  }
  task.cancel();
  subject.yield(2);
  task.value();
  std::lock_guard lock(mutex);
  EXPECT_EQ(seen, (std::vector<int>{0, 1}));
}

TEST(AsyncValueSubject, ConcurrentProducersAndLateConsumersStayConsistent) {
  AsyncValueSubject<int> subject(0);
  std::atomic<bool> stop{false};
  std::thread producer([&] {
    for (int v = 1; v <= 2000; ++v) subject.yield(v);
    stop = true;
  });
  std::vector<Task<bool>> readers;
  for (int r = 0; r < 4; ++r) {
    readers.emplace_back([stream = subject.values()] {
      int previous = -1;
      for (const int v : stream) {
        if (v <= previous) return false;
        previous = v;
      }
      return true;
    });
  }
  producer.join();
  subject.finish();
  for (auto& reader : readers) EXPECT_TRUE(reader.value());
}

}  // namespace
