#include <chrono>
#include <condition_variable>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "concurrency/CancellationError.hpp"
#include "concurrency/MainSerialHook.hpp"
#include "concurrency/Task.hpp"
#include "concurrency/TaskLocal.hpp"

using namespace zirudeze::helpers;
using namespace std::chrono_literals;

namespace {

const TaskLocal<std::string> requestID{"none"};

// Sleeps like the clocks do: until the deadline or until the current task is cancelled.
void cancellableSleep(std::chrono::milliseconds duration) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  const auto token = effectiveStopToken({});
  if (wake.wait_for(lock, token, duration, [] { return false; }) || token.stop_requested()) {
    throw CancellationError();
  }
}

TEST(Task, ValueAndErrorReachTheWaiter) {
  Task<int> answer([] { return 42; });
  EXPECT_EQ(answer.value(), 42);
  Task<void> failing([] { throw std::runtime_error("bad"); });
  EXPECT_THROW(failing.value(), std::runtime_error);
  EXPECT_FALSE(failing.result().isSuccess());
  auto deduced = Task([](std::stop_token) { return std::string("x"); });
  EXPECT_EQ(deduced.value(), "x");
}

TEST(Task, CancelWakesASleepingTaskThroughTheCurrentToken) {
  const auto started = std::chrono::steady_clock::now();
  Task<void> sleeper([] { cancellableSleep(10s); });
  std::this_thread::sleep_for(20ms);
  sleeper.cancel();
  EXPECT_TRUE(sleeper.isCancelled());
  EXPECT_THROW(sleeper.value(), CancellationError);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST(Task, CancellationIsVisibleOnlyInsideTheTask) {
  EXPECT_FALSE(currentStopToken().stop_possible());
  Task<bool> task([] {
    while (!isCurrentTaskCancelled()) std::this_thread::yield();
    return true;
  });
  task.cancel();
  EXPECT_TRUE(task.value());
  EXPECT_NO_THROW(checkCancellation());
}

TEST(Task, TaskLocalsBoundAtSpawnAreSeenInTheTaskAndNotLater) {
  EXPECT_EQ(requestID.get(), "none");
  auto inner = requestID.withValue("outer", [] {
    return requestID.withValue("inner", [] { return Task<std::string>([] { return requestID.get(); }); });
  });
  EXPECT_EQ(inner.value(), "inner");
  EXPECT_EQ(requestID.get(), "none");
  Task<std::string> plain([] { return requestID.get(); });
  EXPECT_EQ(plain.value(), "none");
  EXPECT_THROW(requestID.withValue("x", []() -> int { throw std::runtime_error("e"); }), std::runtime_error);
  EXPECT_EQ(requestID.get(), "none");
}

TEST(Task, CancellingTheWaiterCancelsTheAwaitedTask) {
  Task<void> child([] { cancellableSleep(10s); });
  Task<void> waiter([child] { child.valueWithCancellation(); });
  std::this_thread::sleep_for(20ms);
  waiter.cancel();
  EXPECT_THROW(waiter.value(), CancellationError);
  EXPECT_TRUE(child.isCancelled());
}

TEST(Task, SerialHookRunsTasksOneAtATimeInOrder) {
  std::vector<int> order;
  runWithMainSerialHook([&] {
    EXPECT_TRUE(mainSerialHookInstalled());
    std::vector<Task<void>> tasks;
    for (int i = 0; i < 5; ++i) tasks.emplace_back([&order, i] { order.push_back(i); });
    // A task waiting for a later one on the serial thread runs it inline instead of deadlocking.
    Task<int> outer([] { return Task<int>([] { return 7; }).value(); });
    for (auto& task : tasks) task.value();
    EXPECT_EQ(outer.value(), 7);
  });
  EXPECT_FALSE(mainSerialHookInstalled());
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

}  // namespace
