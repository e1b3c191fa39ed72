#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "concurrency/Task.hpp"
#include "helpers/EventEmitter.hpp"

using namespace zirudeze::helpers;
using namespace std::chrono_literals;

namespace {

TEST(ObservationToken, CancelRunsTheActionOnceAlsoFromManyThreads) {
  std::atomic<int> runs{0};
  const ObservationToken token([&] { ++runs; });
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([token] { token.cancel(); });
  for (auto& thread : threads) thread.join();
  token.cancel();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(token.isCancelled());
}

TEST(ObservationToken, AnActionThatCancelsItsOwnTokenRunsOnce) {
  int runs = 0;
  auto token = std::make_shared<std::optional<ObservationToken>>();
  token->emplace([&runs, weak = std::weak_ptr(token)] {
    ++runs;
    if (const auto self = weak.lock()) (*self)->cancel();
  });
  (*token)->cancel();
  EXPECT_EQ(runs, 1);
}

TEST(ObservationToken, DroppingTheLastCopyCancelsAndCollectionsKeepItAlive) {
  int runs = 0;
  std::unordered_set<ObservationToken> set;
  std::vector<ObservationToken> list;
  {
    const ObservationToken token([&] { ++runs; });
    token.store(set);
    token.store(list);
    token.store(set);
    EXPECT_EQ(set.size(), 1u);
  }
  EXPECT_EQ(runs, 0);
  set.clear();
  EXPECT_EQ(runs, 0);
  list.clear();
  EXPECT_EQ(runs, 1);
  EXPECT_NE(ObservationToken(), ObservationToken());
}

TEST(EventEmitter, ListenersHearEmitsInRegistrationOrder) {
  EventEmitter<int> emitter(0, false);
  std::vector<std::string> calls;
  const auto a = emitter.attach([&](int e) { calls.push_back("A" + std::to_string(e)); });
  const auto b = emitter.attach([&](int e) { calls.push_back("B" + std::to_string(e)); });
  const auto c = emitter.attach([&](int e) { calls.push_back("C" + std::to_string(e)); });
  emitter.emit(1);
  EXPECT_EQ(calls, (std::vector<std::string>{"A1", "B1", "C1"}));
}

TEST(EventEmitter, ReplayGivesTheLastEventOnAttachOnlyWhenAsked) {
  EventEmitter<int> replaying(0, true);
  replaying.emit(1);
  replaying.emit(2);
  std::vector<int> seen;
  const auto late = replaying.attach([&](int e) { seen.push_back(e); });
  EXPECT_EQ(seen, std::vector<int>{2});

  EventEmitter<int> quiet(0, false);
  quiet.emit(1);
  std::vector<int> heard;
  const auto token = quiet.attach([&](int e) { heard.push_back(e); });
  EXPECT_TRUE(heard.empty());
  quiet.emit(3);
  EXPECT_EQ(heard, std::vector<int>{3});
}

TEST(EventEmitter, TargetedEmitReachesOneListenerAndIsAlwaysRecorded) {
  EventEmitter<int> emitter(0, true);
  std::vector<std::string> calls;
  const auto a = emitter.attach([&](int e) { calls.push_back("A" + std::to_string(e)); });
  const auto b = emitter.attach([&](int e) { calls.push_back("B" + std::to_string(e)); });
  calls.clear();
  emitter.emit(5, b);
  EXPECT_EQ(calls, std::vector<std::string>{"B5"});
  const ObservationToken cancelled;
  cancelled.cancel();
  emitter.emit(6, cancelled);
  EXPECT_EQ(calls, std::vector<std::string>{"B5"});
  EXPECT_EQ(emitter.lastEvent(), 6);
  int replayed = 0;
  const auto c = emitter.attach([&](int e) { replayed = e; });
  EXPECT_EQ(replayed, 6);
}

TEST(EventEmitter, ReleasedOrSelfCancellingListenersStopHearing) {
  EventEmitter<int> emitter(0, false);
  std::vector<int> dropped;
  std::optional<ObservationToken> held = emitter.attach([&](int e) { dropped.push_back(e); });
  emitter.emit(1);
  held.reset();
  emitter.emit(2);
  EXPECT_EQ(dropped, std::vector<int>{1});

  std::vector<int> self;
  auto slot = std::make_shared<std::optional<ObservationToken>>();
  *slot = emitter.attach([&self, weak = std::weak_ptr(slot)](int e) {
    self.push_back(e);
    if (const auto s = weak.lock()) (*s)->cancel();
  });
  std::vector<int> second;
  const auto other = emitter.attach([&](int e) { second.push_back(e); });
  emitter.emit(3);
  emitter.emit(4);
  EXPECT_EQ(self, std::vector<int>{3});
  EXPECT_EQ(second, (std::vector<int>{3, 4}));
}

TEST(EventEmitter, TokensOutliveTheirEmitter) {
  std::optional<ObservationToken> token;
  {
    EventEmitter<int> emitter(0, false);
    token = emitter.attach([](int) {});
  }
  EXPECT_NO_THROW(token->cancel());
  EXPECT_TRUE(token->isCancelled());
}

TEST(EventEmitter, ListenersMayUseTheEmitterWhileBeingCalled) {
  EventEmitter<int> emitter(0, false);
  std::vector<ObservationToken> added;
  std::vector<int> seen;
  const auto token = emitter.attach([&](int e) {
    seen.push_back(e);
    if (e == 1) {
      added.push_back(emitter.attach([&](int later) { seen.push_back(100 + later); }));
      emitter.emit(2);
    }
  });
  emitter.emit(1);
  // The nested emit reaches both; the listener added during emit 1 does not hear emit 1.
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 102}));
  EXPECT_EQ(emitter.lastEvent(), 2);
}

TEST(EventEmitterStream, StartsWithTheLastEventAndDetachesWhenDropped) {
  EventEmitter<int> emitter(7, true);
  int listenersAfterDrop = -1;
  {
    const auto events = emitter.stream();
    emitter.emit(8);
    EXPECT_EQ(events.next(), 7);
    EXPECT_EQ(events.next(), 8);
  }
  // With the stream gone nothing remains registered: a targeted emit to a fresh token changes nothing,
  // and a new replaying listener is the only one called.
  int calls = 0;
  const auto probe = emitter.attach([&](int) { ++calls; });
  emitter.emit(9);
  listenersAfterDrop = calls;
  EXPECT_EQ(listenersAfterDrop, 2);
}

TEST(EventEmitterStream, CancellingTheConsumerTaskDetachesItsListener) {
  EventEmitter<int> emitter(0, false);
  auto events = std::make_shared<AsyncStream<int>>(emitter.stream());
  std::atomic<int> received{0};
  Task<void> consumer([events, &received] {
    for (const int e : *events) {
      (void)e;
      ++received;
    }
  });
  emitter.emit(1);
  while (received.load() == 0) std::this_thread::sleep_for(1ms);
  consumer.cancel();
  consumer.value();
  events.reset();
  emitter.emit(2);
  EXPECT_EQ(received.load(), 1);
}

}  // namespace
