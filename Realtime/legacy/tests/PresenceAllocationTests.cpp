// How many blocks a merge asks the allocator for, counted on the calling thread by this test program's
// own operator new. The sanitizers bring operators of their own, which this one would not pair with.
#include <cstdlib>
#include <new>

#include "LegacyTestSupport.hpp"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VM_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VM_COUNTS_ALLOCATIONS 0
#endif
#endif
#ifndef VM_COUNTS_ALLOCATIONS
#define VM_COUNTS_ALLOCATIONS 1
#endif

namespace {
thread_local std::size_t allocations = 0;
}  // namespace

#if VM_COUNTS_ALLOCATIONS
void* operator new(std::size_t size) {
  ++allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#endif

namespace zirudeze::realtime::testing {
namespace {

constexpr int kKeys = 400;

PresenceMeta meta(int key, int index, int generation) {
  return PresenceMeta{
      {"phx_ref", "ref-" + std::to_string(key) + "-" + std::to_string(index) + "-" + std::to_string(generation)},
      {"online_at", "2024-03-05T17:04:09Z"},
      {"device", "a device of a name too long to be kept inline"}};
}

// Every key with two metas; `generation` renames the last.
PresenceStateMap state(int generation) {
  PresenceStateMap made;
  for (int key = 0; key < kKeys; ++key)
    made["user-" + std::to_string(key)] = PresenceEntry{{"metas", {meta(key, 0, 0), meta(key, 1, generation)}}};
  return made;
}

// The last meta of every key, of one generation.
PresenceStateMap lastMetas(int generation) {
  PresenceStateMap made;
  for (int key = 0; key < kKeys; ++key)
    made["user-" + std::to_string(key)] = PresenceEntry{{"metas", {meta(key, 1, generation)}}};
  return made;
}

// A meta is several blocks (nodes and long texts); once the merges before have given up metas, the
// next one copies those that join into them, so a view where every key changes costs no block per key.
TEST(LegacyPresenceAllocations, AMergeAfterAnotherCopiesTheJoinedMetasIntoThoseThatLeft) {
  if (!VM_COUNTS_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under a sanitizer";
  const PresenceStateMap states[] = {state(0), state(1)};
  PresenceStateMap current = states[0];
  int announced = 0;
  const Presence::JoinCallback onJoin = [&](const std::string&, const auto&, const auto&) { ++announced; };
  const Presence::LeaveCallback onLeave = [&](const std::string&, const auto&, const auto&) { ++announced; };
  current = Presence::mergeState(std::move(current), states[1], onJoin, onLeave);

  const std::size_t before = allocations;
  current = Presence::mergeState(std::move(current), states[0], onJoin, onLeave);
  EXPECT_LT(allocations - before, std::size_t{kKeys / 4});
  EXPECT_EQ(announced, 4 * kKeys);
  EXPECT_EQ(current, states[0]);
}

TEST(LegacyPresenceAllocations, ADiffCopiesTheJoinedMetasIntoThoseThatLeftJustBefore) {
  if (!VM_COUNTS_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under a sanitizer";
  PresenceStateMap current = state(0);
  const PresenceDiff forth{{"joins", lastMetas(1)}, {"leaves", lastMetas(0)}};
  const PresenceDiff back{{"joins", lastMetas(0)}, {"leaves", lastMetas(1)}};
  current = Presence::applyDiff(std::move(current), forth, nullptr, nullptr);

  const std::size_t before = allocations;
  current = Presence::applyDiff(std::move(current), back, nullptr, nullptr);
  EXPECT_LT(allocations - before, std::size_t{kKeys / 4});
  EXPECT_EQ(current, state(0));
}

}  // namespace
}  // namespace zirudeze::realtime::testing
