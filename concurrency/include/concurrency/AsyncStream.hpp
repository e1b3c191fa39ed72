#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>

#include "base/ThreadSafety.hpp"
#include "concurrency/BufferingPolicy.hpp"
#include "concurrency/CurrentTask.hpp"

namespace zirudeze::concurrency::detail {

template <class T>
class StreamCore {
 public:
  using Pull = std::function<std::optional<T>()>;

  StreamCore(BufferingPolicy policy, bool throwing) : policy_(policy), throwing_(throwing) {}
  StreamCore(Pull pull, bool throwing) : pull_(std::move(pull)), throwing_(throwing) {}

  YieldResult<T> yield(T element) {
    std::optional<YieldResult<T>> result;
    {
      const velmoria::base::MutexLock lock(mutex_);
      if (finished_) return YieldResult<T>::terminated();
      result.emplace(enqueue(std::move(element)));
    }
    available_.notifyOne();
    return std::move(*result);
  }

  void finish(std::exception_ptr error) {
    {
      const velmoria::base::MutexLock lock(mutex_);
      if (finished_) return;
      finished_ = true;
      error_ = std::move(error);
    }
    available_.notifyAll();
    terminate(StreamTermination::finished);
  }

  // Ends the stream for its consumer: what is buffered is dropped and waiting consumers wake empty.
  void cancel() {
    {
      const velmoria::base::MutexLock lock(mutex_);
      finished_ = true;
      buffer_.clear();
      error_ = nullptr;
    }
    available_.notifyAll();
    terminate(StreamTermination::cancelled);
  }

  // Runs the handler at once, outside the lock, when the stream has already terminated.
  void setOnTermination(std::function<void(StreamTermination)> handler) {
    StreamTermination reason{};
    {
      const velmoria::base::MutexLock lock(mutex_);
      if (!terminationReason_) {
        onTermination_ = std::move(handler);
        return;
      }
      reason = *terminationReason_;
    }
    if (handler) handler(reason);
  }

  // A triggered token cancels the stream: no more yields are taken and the handler runs, but what was
  // buffered before is still handed out.
  std::optional<T> next(const std::stop_token& given) {
    const auto token = effectiveStopToken(given);
    if (pull_) return pullNext(token);
    std::optional<T> element;
    bool cancelledNow = false;
    {
      velmoria::base::MutexLock lock(mutex_);
      available_.wait(lock, token, [&]() VM_REQUIRES(mutex_) { return !buffer_.empty() || finished_; });
      if (token.stop_requested() && !finished_) {
        finished_ = true;
        cancelledNow = true;
      }
      if (!buffer_.empty()) {
        element.emplace(std::move(buffer_.front()));
        buffer_.pop_front();
      }
    }
    if (cancelledNow) {
      available_.notifyAll();
      terminate(StreamTermination::cancelled);
    }
    if (element) return element;
    std::exception_ptr error;
    {
      const velmoria::base::MutexLock lock(mutex_);
      error = std::exchange(error_, nullptr);
    }
    if (error) std::rethrow_exception(error);
    return std::nullopt;
  }

 private:
  YieldResult<T> enqueue(T element) VM_REQUIRES(mutex_) {
    if (policy_.kind == BufferingPolicy::Kind::unbounded) {
      buffer_.push_back(std::move(element));
      return YieldResult<T>::enqueued(std::numeric_limits<std::int64_t>::max());
    }
    const auto limit = policy_.limit;
    if (buffer_.size() < limit) {
      buffer_.push_back(std::move(element));
      return YieldResult<T>::enqueued(static_cast<std::int64_t>(limit - buffer_.size()));
    }
    if (policy_.kind == BufferingPolicy::Kind::bufferingOldest || limit == 0) {
      return YieldResult<T>::dropped(std::move(element));
    }
    T oldest = std::move(buffer_.front());
    buffer_.pop_front();
    buffer_.push_back(std::move(element));
    return YieldResult<T>::dropped(std::move(oldest));
  }

  // Pull streams ask their source once per request, one consumer at a time, with the consumer's
  // stop token current so a waiting source sees the cancellation.
  std::optional<T> pullNext(const std::stop_token& token) {
    const velmoria::base::MutexLock pulling(pullMutex_);
    {
      const velmoria::base::MutexLock lock(mutex_);
      if (finished_) return std::nullopt;
    }
    if (token.stop_requested()) {
      cancel();
      return std::nullopt;
    }
    std::optional<T> element;
    try {
      const CurrentStopTokenScope current(token);
      element = pull_();
    } catch (...) {
      finish(nullptr);
      if (throwing_) throw;
      return std::nullopt;
    }
    if (!element) finish(nullptr);
    return element;
  }

  void terminate(StreamTermination reason) {
    std::function<void(StreamTermination)> handler;
    {
      const velmoria::base::MutexLock lock(mutex_);
      if (terminationReason_) return;
      terminationReason_ = reason;
      handler = std::move(onTermination_);
      onTermination_ = nullptr;
    }
    if (handler) handler(reason);
  }

  velmoria::base::Mutex mutex_;
  velmoria::base::ConditionVariable available_;
  std::deque<T> buffer_ VM_GUARDED_BY(mutex_);
  BufferingPolicy policy_;
  bool finished_ VM_GUARDED_BY(mutex_) = false;
  std::exception_ptr error_ VM_GUARDED_BY(mutex_);
  std::optional<StreamTermination> terminationReason_ VM_GUARDED_BY(mutex_);
  std::function<void(StreamTermination)> onTermination_ VM_GUARDED_BY(mutex_);
  Pull pull_;
  velmoria::base::Mutex pullMutex_;
  const bool throwing_;
};

// Cancels the stream when the last consumer handle goes away.
template <class T>
struct ConsumerHandle {
  explicit ConsumerHandle(std::shared_ptr<StreamCore<T>> shared) : core(std::move(shared)) {}
  ~ConsumerHandle() { core->cancel(); }
  ConsumerHandle(const ConsumerHandle&) = delete;
  ConsumerHandle& operator=(const ConsumerHandle&) = delete;
  const std::shared_ptr<StreamCore<T>> core;
};

}  // namespace zirudeze::concurrency::detail

namespace zirudeze::concurrency {

// A thread-safe channel from producers (the continuation) to a consumer (the stream). Copies of the
// stream share one channel; when the last copy is dropped the stream is cancelled. `next` blocks
// until an element arrives, the stream ends, or the stop token (by default the current task's) is
// triggered, which cancels the stream. The termination handler runs exactly once, outside the lock:
// on finish, on cancellation, or when the consumer is dropped. `Throwing` streams may finish with an
// error, which the consumer's `next` rethrows after the buffered elements.
template <class T, bool Throwing>
class BasicAsyncStream {
 public:
  using Element = T;

  class Continuation {
   public:
    YieldResult<T> yield(T element) const { return core_->yield(std::move(element)); }

    void finish() const { core_->finish(nullptr); }
    void finish(std::exception_ptr error) const requires Throwing { core_->finish(std::move(error)); }

    void setOnTermination(std::function<void(StreamTermination)> handler) const {
      core_->setOnTermination(std::move(handler));
    }

   private:
    friend class BasicAsyncStream;
    explicit Continuation(std::shared_ptr<detail::StreamCore<T>> core) : core_(std::move(core)) {}
    std::shared_ptr<detail::StreamCore<T>> core_;
  };

  static std::pair<BasicAsyncStream, Continuation> makeStream(BufferingPolicy policy = BufferingPolicy::unbounded()) {
    auto core = std::make_shared<detail::StreamCore<T>>(policy, Throwing);
    return {BasicAsyncStream(core), Continuation(core)};
  }

  // `build` receives the continuation while the stream is made.
  template <class Build>
  requires std::is_invocable_v<Build, Continuation>
  explicit BasicAsyncStream(BufferingPolicy policy, Build&& build)
      : BasicAsyncStream(std::make_shared<detail::StreamCore<T>>(policy, Throwing)) {
    std::forward<Build>(build)(Continuation(handle_->core));
  }

  // A stream that asks `produce` for each element; an empty answer ends it. A throwing `produce` ends
  // a plain stream and fails a throwing one.
  static BasicAsyncStream unfolding(std::function<std::optional<T>()> produce) {
    return BasicAsyncStream(std::make_shared<detail::StreamCore<T>>(std::move(produce), Throwing));
  }

  std::optional<T> next(const std::stop_token& token = {}) const { return handle_->core->next(token); }

  // The asynchronous-sequence view: an iterator is the stream itself.
  const BasicAsyncStream& makeAsyncIterator() const { return *this; }

  class iterator {
   public:
    using value_type = T;
    using difference_type = std::ptrdiff_t;

    iterator() = default;
    T& operator*() { return *current_; }
    iterator& operator++() {
      current_ = stream_->next();
      return *this;
    }
    void operator++(int) { ++*this; }
    friend bool operator==(const iterator& it, std::default_sentinel_t) { return !it.current_; }

   private:
    friend class BasicAsyncStream;
    explicit iterator(const BasicAsyncStream* stream) : stream_(stream), current_(stream->next()) {}
    const BasicAsyncStream* stream_ = nullptr;
    std::optional<T> current_;
  };

  iterator begin() const { return iterator(this); }
  std::default_sentinel_t end() const { return {}; }

 private:
  explicit BasicAsyncStream(std::shared_ptr<detail::StreamCore<T>> core)
      : handle_(std::make_shared<detail::ConsumerHandle<T>>(std::move(core))) {}

  std::shared_ptr<detail::ConsumerHandle<T>> handle_;
};

template <class T>
using AsyncStream = BasicAsyncStream<T, false>;
template <class T>
using AsyncThrowingStream = BasicAsyncStream<T, true>;

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
