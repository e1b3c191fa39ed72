#include <chrono>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "concurrency/CancellationError.hpp"
#include "concurrency/StreamAdapters.hpp"
#include "concurrency/Task.hpp"

using namespace zirudeze::helpers;
using namespace std::chrono_literals;

namespace {

// Yields 1, 2, ... up to `count` and then fails when `failAfter` is set, else ends.
struct CountingSequence {
  struct Iterator {
    int current = 0;
    int count = 0;
    bool fail = false;
    std::optional<int> next() {
      if (current == count) {
        if (fail) throw std::runtime_error("source failed");
        return std::nullopt;
      }
      return ++current;
    }
  };
  int count = 0;
  bool fail = false;
  std::shared_ptr<int> iteratorsMade = std::make_shared<int>(0);
  Iterator makeAsyncIterator() const {
    ++*iteratorsMade;
    return Iterator{0, count, fail};
  }
};

std::vector<int> collect(const auto& stream) {
  std::vector<int> seen;
  for (const int v : stream) seen.push_back(v);
  return seen;
}

TEST(StreamFromSequence, TheIteratorIsMadeLazilyAndOnce) {
  CountingSequence source{3, false};
  { const auto unread = streamFromSequence(source); }
  EXPECT_EQ(*source.iteratorsMade, 0);
  const auto stream = streamFromSequence(source);
  EXPECT_EQ(collect(stream), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(stream.next(), std::nullopt);
  EXPECT_EQ(*source.iteratorsMade, 1);
}

TEST(StreamFromSequence, PlainKindEndsOnASourceErrorAndThrowingKindPassesItOn) {
  const CountingSequence failing{2, true};
  EXPECT_EQ(collect(streamFromSequence(failing)), (std::vector<int>{1, 2}));
  const auto throwing = throwingStreamFromSequence(UncheckedSendable<CountingSequence>(failing));
  EXPECT_EQ(throwing.next(), 1);
  EXPECT_EQ(throwing.next(), 2);
  EXPECT_THROW(throwing.next(), std::runtime_error);
  EXPECT_EQ(throwing.next(), std::nullopt);
}

TEST(StreamFromSequence, CancellingTheConsumerReachesAWaitingSourceStream) {
  auto [inner, continuation] = AsyncStream<int>::makeStream();
  const auto outer = streamFromSequence(inner);
  Task<std::optional<int>> consumer([outer] { return outer.next(); });
  std::this_thread::sleep_for(20ms);
  consumer.cancel();
  EXPECT_EQ(consumer.value(), std::nullopt);
}

TEST(FixedStreams, FinishedEndsAtOnceAndNeverWaitsForCancellation) {
  EXPECT_EQ(finishedStream<AsyncStream<int>>().next(), std::nullopt);
  const auto failed = finishedStream<AsyncThrowingStream<int>>(std::make_exception_ptr(std::logic_error("x")));
  EXPECT_THROW(failed.next(), std::logic_error);
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(neverStream<AsyncThrowingStream<int>>().next(stop.get_token()), std::nullopt);
}

TEST(WaitUntilCancelled, CancellingTheTaskEndsTheWaitWithCancellationError) {
  Task<void> waiter([] { waitUntilCancelled(); });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(waiter.isFinished());
  waiter.cancel();
  EXPECT_THROW(waiter.value(), CancellationError);
}

TEST(MegaYield, CountFollowsTheEnvironmentRule) {
  using detail::megaYieldCountFrom;
  EXPECT_EQ(megaYieldCountFrom(nullptr), 20);
  EXPECT_EQ(megaYieldCountFrom(""), 20);
  EXPECT_EQ(megaYieldCountFrom("abc"), 20);
  EXPECT_EQ(megaYieldCountFrom("12x"), 20);
  EXPECT_EQ(megaYieldCountFrom(" 5"), 20);
  EXPECT_EQ(megaYieldCountFrom("99999999999999999999"), 20);
  EXPECT_EQ(megaYieldCountFrom("0"), 0);
  EXPECT_EQ(megaYieldCountFrom("-5"), 0);
  EXPECT_EQ(megaYieldCountFrom("+7"), 7);
  EXPECT_EQ(megaYieldCountFrom("50000"), 10000);
  EXPECT_EQ(megaYieldCountFrom("10000"), 10000);
  megaYield(3);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(megaYield(-1), "negative");
}

}  // namespace
