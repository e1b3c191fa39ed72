#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace zirudeze::concurrency {

// How many yielded elements a stream keeps while its consumer is not reading, and which it drops.
struct BufferingPolicy {
  enum class Kind { unbounded, bufferingOldest, bufferingNewest };
  Kind kind = Kind::unbounded;
  std::size_t limit = 0;

  static BufferingPolicy unbounded() { return {Kind::unbounded, 0}; }
  // Keeps the first `limit` elements and drops newer ones while the buffer is full.
  static BufferingPolicy bufferingOldest(std::size_t limit) { return {Kind::bufferingOldest, limit}; }
  // Keeps the last `limit` elements, dropping the oldest to make room.
  static BufferingPolicy bufferingNewest(std::size_t limit) { return {Kind::bufferingNewest, limit}; }

  friend bool operator==(const BufferingPolicy&, const BufferingPolicy&) = default;
};

// Why a stream ended, as its termination handler sees it.
enum class StreamTermination { finished, cancelled };

// What became of one yielded element.
template <class T>
class YieldResult {
 public:
  enum class Kind { enqueued, dropped, terminated };

  static YieldResult enqueued(std::int64_t remaining) { return YieldResult(Kind::enqueued, remaining, std::nullopt); }
  static YieldResult dropped(T element) { return YieldResult(Kind::dropped, 0, std::move(element)); }
  static YieldResult terminated() { return YieldResult(Kind::terminated, 0, std::nullopt); }

  Kind kind() const { return kind_; }
  // Free buffer places left after an enqueue (the largest value for an unbounded buffer).
  std::int64_t remaining() const { return remaining_; }
  // The element the buffer let go: the yielded one, or the oldest one under bufferingNewest.
  const std::optional<T>& droppedElement() const { return dropped_; }

 private:
  YieldResult(Kind kind, std::int64_t remaining, std::optional<T> dropped)
      : kind_(kind), remaining_(remaining), dropped_(std::move(dropped)) {}
  Kind kind_;
  std::int64_t remaining_;
  std::optional<T> dropped_;
};

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
