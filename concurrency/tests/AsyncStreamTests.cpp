#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "concurrency/AsyncStream.hpp"
#include "concurrency/Task.hpp"

using namespace zirudeze::helpers;
using namespace std::chrono_literals;

namespace {

template <class Stream>
std::vector<int> drain(const Stream& stream) {
  std::vector<int> seen;
  for (const int value : stream) seen.push_back(value);
  return seen;
}

TEST(AsyncStreamBuffering, UnboundedKeepsEverythingInOrderAndDrainsAfterFinish) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(continuation.yield(i).kind(), YieldResult<int>::Kind::enqueued);
  }
  continuation.finish();
  EXPECT_EQ(continuation.yield(9).kind(), YieldResult<int>::Kind::terminated);
  EXPECT_EQ(drain(stream), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(stream.next(), std::nullopt);
}

TEST(AsyncStreamBuffering, NewestDropsTheOldestAndOldestDropsTheNewcomer) {
  auto [newest, toNewest] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(2));
  EXPECT_EQ(toNewest.yield(1).remaining(), 1);
  EXPECT_EQ(toNewest.yield(2).remaining(), 0);
  const auto dropped = toNewest.yield(3);
  EXPECT_EQ(dropped.kind(), YieldResult<int>::Kind::dropped);
  EXPECT_EQ(dropped.droppedElement(), 1);
  toNewest.finish();
  EXPECT_EQ(drain(newest), (std::vector<int>{2, 3}));

  auto [oldest, toOldest] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingOldest(2));
  toOldest.yield(1);
  toOldest.yield(2);
  EXPECT_EQ(toOldest.yield(3).droppedElement(), 3);
  toOldest.finish();
  EXPECT_EQ(drain(oldest), (std::vector<int>{1, 2}));

  auto [none, toNone] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(0));
  EXPECT_EQ(toNone.yield(5).droppedElement(), 5);
}

TEST(AsyncThrowingStream, ErrorComesAfterTheBufferedElementsAndOnlyOnce) {
  auto [stream, continuation] = AsyncThrowingStream<int>::makeStream();
  continuation.yield(1);
  continuation.finish(std::make_exception_ptr(std::runtime_error("down")));
  EXPECT_EQ(stream.next(), 1);
  EXPECT_THROW(stream.next(), std::runtime_error);
  EXPECT_EQ(stream.next(), std::nullopt);
}

TEST(AsyncStreamCancellation, StopTokenWakesABlockedNextAndEndsTheStream) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  std::atomic<int> reason{-1};
  continuation.setOnTermination([&](StreamTermination why) { reason = static_cast<int>(why); });
  std::stop_source stop;
  std::thread consumer([&, s = stream] { EXPECT_EQ(s.next(stop.get_token()), std::nullopt); });
  std::this_thread::sleep_for(20ms);
  stop.request_stop();
  consumer.join();
  EXPECT_EQ(reason.load(), static_cast<int>(StreamTermination::cancelled));
  EXPECT_EQ(continuation.yield(1).kind(), YieldResult<int>::Kind::terminated);
}

TEST(AsyncStreamCancellation, ACancelledConsumerStillGetsWhatWasBufferedBeforeTheEnd) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  int cancelled = 0;
  continuation.setOnTermination([&](StreamTermination why) { cancelled += why == StreamTermination::cancelled; });
  continuation.yield(1);
  continuation.yield(2);
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(stream.next(stop.get_token()), 1);
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(continuation.yield(3).kind(), YieldResult<int>::Kind::terminated);
  EXPECT_EQ(stream.next(), 2);
  EXPECT_EQ(stream.next(), std::nullopt);
  EXPECT_EQ(cancelled, 1);
}

TEST(AsyncStreamCancellation, CancellingTheConsumingTaskReachesNextWithoutAToken) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  continuation.yield(1);
  Task<std::vector<int>> consumer([s = stream] { return drain(s); });
  std::this_thread::sleep_for(20ms);
  consumer.cancel();
  EXPECT_EQ(consumer.value(), std::vector<int>{1});
}

TEST(AsyncStreamTermination, HandlerRunsOnceForEachWayOfEnding) {
  std::atomic<int> calls{0};
  auto counting = [&](StreamTermination) { ++calls; };
  {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.setOnTermination(counting);
    continuation.finish();
    continuation.finish();
  }
  EXPECT_EQ(calls.load(), 1);
  std::optional<AsyncStream<int>::Continuation> kept;
  {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.setOnTermination(counting);
    kept = continuation;
    const auto copy = stream;
  }
  EXPECT_EQ(calls.load(), 2);
  kept->finish();
  EXPECT_EQ(calls.load(), 2);
  // A handler set after the end runs at once.
  kept->setOnTermination(counting);
  EXPECT_EQ(calls.load(), 3);
}

TEST(AsyncStreamTermination, RacingFinishDropAndCancelRunTheHandlerExactlyOnce) {
  for (int round = 0; round < 200; ++round) {
    std::atomic<int> calls{0};
    std::optional<AsyncStream<int>> stream;
    std::optional<AsyncStream<int>::Continuation> continuation;
    {
      auto made = AsyncStream<int>::makeStream();
      stream.emplace(std::move(made.first));
      continuation.emplace(std::move(made.second));
    }
    continuation->setOnTermination([&](StreamTermination) { ++calls; });
    std::stop_source stop;
    std::thread consumer([&, s = *stream] { s.next(stop.get_token()); });
    std::thread finisher([c = *continuation] { c.finish(); });
    std::thread canceller([&] { stop.request_stop(); });
    stream.reset();
    finisher.join();
    canceller.join();
    consumer.join();
    EXPECT_EQ(calls.load(), 1) << "round " << round;
  }
}

TEST(AsyncStreamTermination, HandlerRunsOutsideTheLockSoItMayUseTheStream) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  YieldResult<int>::Kind seen = YieldResult<int>::Kind::enqueued;
  continuation.setOnTermination([&seen, c = continuation](StreamTermination) { seen = c.yield(1).kind(); });
  continuation.finish();
  EXPECT_EQ(seen, YieldResult<int>::Kind::terminated);
}

TEST(AsyncStreamDelivery, ManyProducersLoseNothing) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p) {
    producers.emplace_back([c = continuation] {
      for (int i = 0; i < 500; ++i) c.yield(1);
    });
  }
  Task<long> consumer([s = stream] {
    long sum = 0;
    for (const int value : s) sum += value;
    return sum;
  });
  for (auto& producer : producers) producer.join();
  continuation.finish();
  EXPECT_EQ(consumer.value(), 2000);
}

}  // namespace
