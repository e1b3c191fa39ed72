#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "concurrency/LockIsolated.hpp"

using zirudeze::concurrency::LockIsolated;

namespace {

struct Counter {
  int count = 0;
  std::string name;
};

TEST(LockIsolated, ChangeBeforeAThrowIsKeptAndTheLockIsFree) {
  LockIsolated<int> value(1);
  EXPECT_THROW(value.withValue([](int& v) {
    v = 5;
    throw std::runtime_error("boom");
  }),
               std::runtime_error);
  EXPECT_EQ(value.value(), 5);
  std::thread other([&] { value.withValue([](int& v) { ++v; }); });
  other.join();
  EXPECT_EQ(value.value(), 6);
}

TEST(LockIsolated, FailingProducerLeavesTheOldValue) {
  LockIsolated<int> value(3);
  EXPECT_THROW(value.setValue([]() -> int { throw std::runtime_error("no"); }), std::runtime_error);
  EXPECT_EQ(value.value(), 3);
  value.setValue([] { return 4; });
  EXPECT_EQ(value.value(), 4);
  EXPECT_THROW(LockIsolated<int>([]() -> int { throw std::logic_error("ctor"); }), std::logic_error);
}

TEST(LockIsolated, NestedUseOnOneThreadDoesNotDeadlockAndTheOuterWriteBackWins) {
  LockIsolated<Counter> state(Counter{0, "a"});
  const int seen = state.withValue([&](Counter& outer) {
    state.withValue([](Counter& inner) { inner.count = 100; });
    const int inner = state[&Counter::count];
    outer.name = "b";
    return inner;
  });
  EXPECT_EQ(seen, 100);
  EXPECT_EQ(state[&Counter::count], 0);
  EXPECT_EQ(state[&Counter::name], "b");
}

TEST(LockIsolated, ContendedIncrementsAreNotLost) {
  LockIsolated<long> total(0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) total.withValue([](long& v) { ++v; });
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(total.value(), 16000);
}

}  // namespace
