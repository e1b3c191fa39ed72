// How many blocks a merge asks the allocator for, and how many bytes a thread still holds after it,
// counted on the calling thread by this test program's own operators. The sanitizers bring operators of
// their own, which these would not pair with.
#include <malloc.h>

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
// Made minus freed on this thread, as the allocator sized the blocks.
thread_local std::int64_t liveBytes = 0;
}  // namespace

#if VM_COUNTS_ALLOCATIONS
namespace {
// Out of line, so that the compiler does not pair the frees here with the news of the code it inlines.
[[gnu::noinline]] void* take(std::size_t size) {
  ++allocations;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  liveBytes += static_cast<std::int64_t>(malloc_usable_size(block));
  return block;
}
[[gnu::noinline]] void giveBack(void* block) noexcept {
  if (block != nullptr) liveBytes -= static_cast<std::int64_t>(malloc_usable_size(block));
  std::free(block);
}
}  // namespace

void* operator new(std::size_t size) { return take(size); }
void operator delete(void* block) noexcept { giveBack(block); }
void operator delete(void* block, std::size_t) noexcept { giveBack(block); }
#endif

namespace zirudeze::realtime::testing {
namespace {

// Few enough that the metas one merge gives up are all kept for the next.
constexpr int kKeys = 80;
// What a thread may keep for its next merges, whatever it merged before.
constexpr std::int64_t kKeptLimit = 512 * 1024;

PresenceMeta meta(int key, int index, int generation) {
  return PresenceMeta{
      {"phx_ref", "ref-" + std::to_string(key) + "-" + std::to_string(index) + "-" + std::to_string(generation)},
      {"online_at", "2024-03-05T17:04:09Z"},
      {"device", "a device of a name too long to be kept inline"}};
}

// Every key with two metas; `generation` renames the last.
PresenceStateMap state(int generation, int keys = kKeys) {
  PresenceStateMap made;
  for (int key = 0; key < keys; ++key)
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
// next one copies those that join into them, so a small view where every key changes costs no block per
// key.
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

// The metas a merge gives up are kept for the copies of the next one only up to a bound, and the lists
// that held its leaves shrink back: a view that empties gives its memory back.
TEST(LegacyPresenceAllocations, AThreadKeepsLittleAfterAMergeThatEmptiesALargeView) {
  if (!VM_COUNTS_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under a sanitizer";
  const std::int64_t before = liveBytes;
  {
    PresenceStateMap large = state(0, 20000);
    ASSERT_GT(liveBytes - before, 16 * kKeptLimit);
    std::size_t left = 0;
    const auto merged = Presence::mergeState(std::move(large), {}, nullptr,
                                             [&](const std::string&, const auto&, const auto&) { ++left; });
    EXPECT_TRUE(merged.empty());
    EXPECT_EQ(left, 20000u);
  }
  EXPECT_LT(liveBytes - before, kKeptLimit);

  {
    const PresenceStateMap small = state(0, 3);
    auto merged = Presence::mergeState(PresenceStateMap(small), state(1, 3), nullptr, nullptr);
    merged = Presence::applyDiff(std::move(merged), {{"leaves", small}}, nullptr, nullptr);
  }
  EXPECT_LT(liveBytes - before, kKeptLimit / 8) << "after a small merge";
}

}  // namespace
}  // namespace zirudeze::realtime::testing
