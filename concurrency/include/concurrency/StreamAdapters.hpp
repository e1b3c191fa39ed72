#pragma once

#include <concepts>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <type_traits>
#include <utility>

#include "base/ThreadSafety.hpp"
#include "concurrency/AsyncStream.hpp"
#include "concurrency/UncheckedSendable.hpp"

namespace zirudeze::concurrency {

// Anything with makeAsyncIterator() whose iterator answers next() with an optional element.
template <class S>
concept AsyncSequence = requires(const S& sequence) {
  {sequence.makeAsyncIterator()};
  requires requires(std::decay_t<decltype(sequence.makeAsyncIterator())> & iterator) {
    {iterator.next()};
    {*iterator.next()};
    {static_cast<bool>(iterator.next())};
  };
};

template <AsyncSequence S>
using AsyncSequenceIterator = std::decay_t<decltype(std::declval<const S&>().makeAsyncIterator())>;

template <AsyncSequence S>
using AsyncSequenceElement = std::decay_t<decltype(*std::declval<AsyncSequenceIterator<S>&>().next())>;

}  // namespace zirudeze::concurrency

namespace zirudeze::concurrency::detail {

template <class Stream, AsyncSequence S>
Stream streamOver(S sequence) {
  // The iterator is made on the first request only, so a stream that is never read never starts its source.
  struct Source {
    explicit Source(S s) : sequence(std::move(s)) {}
    S sequence;
    velmoria::base::Mutex lock;
    UncheckedBox<std::optional<AsyncSequenceIterator<S>>> iterator VM_GUARDED_BY(lock);
  };
  auto source = std::make_shared<Source>(std::move(sequence));
  return Stream::unfolding([source]() -> std::optional<AsyncSequenceElement<S>> {
    AsyncSequenceIterator<S>* iterator = nullptr;
    {
      const velmoria::base::MutexLock guard(source->lock);
      auto& box = source->iterator.wrappedValue;
      if (!box) box.emplace(source->sequence.makeAsyncIterator());
      iterator = &*box;
    }
    auto element = iterator->next();
    if (!element) return std::nullopt;
    return std::optional<AsyncSequenceElement<S>>(std::move(*element));
  });
}

}  // namespace zirudeze::concurrency::detail

namespace zirudeze::concurrency {

// A buffered stream of the sequence's elements; an error of the source ends it.
template <AsyncSequence S>
AsyncStream<AsyncSequenceElement<S>> streamFromSequence(S sequence) {
  return detail::streamOver<AsyncStream<AsyncSequenceElement<S>>>(std::move(sequence));
}

// Like streamFromSequence, but an error of the source reaches the consumer.
template <AsyncSequence S>
AsyncThrowingStream<AsyncSequenceElement<S>> throwingStreamFromSequence(S sequence) {
  return detail::streamOver<AsyncThrowingStream<AsyncSequenceElement<S>>>(std::move(sequence));
}

// A stream that never yields and never ends on its own; only cancelling or dropping it ends it.
template <class Stream>
Stream neverStream() {
  return Stream::makeStream(BufferingPolicy::unbounded()).first;
}

// A stream that has already ended, for the throwing kind optionally with `error`.
template <class Stream>
Stream finishedStream(std::exception_ptr error = nullptr) {
  auto [stream, continuation] = Stream::makeStream(BufferingPolicy::unbounded());
  if constexpr (std::is_same_v<Stream, AsyncThrowingStream<typename Stream::Element>>) {
    continuation.finish(std::move(error));
  } else {
    continuation.finish();
  }
  return stream;
}

// Returns only by throwing CancellationError, once `token` (by default the current task's) is triggered.
[[noreturn]] void waitUntilCancelled(const std::stop_token& token = {});

// The number of rounds megaYield makes by default: TASK_MEGA_YIELD_COUNT, read once.
int megaYieldCount();

// Lets other queued work run: each round starts a background task that only yields, and waits for it.
void megaYield(int count = megaYieldCount());

}  // namespace zirudeze::concurrency

namespace zirudeze::concurrency::detail {
// TASK_MEGA_YIELD_COUNT's rule: absent, empty or not a signed decimal integer gives 20; then clamped to 0...10000.
int megaYieldCountFrom(const char* text);
}  // namespace zirudeze::concurrency::detail

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
