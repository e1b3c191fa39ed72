#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <type_traits>
#include <utility>

#include "base/ThreadSafety.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/CurrentTask.hpp"
#include "concurrency/Result.hpp"
#include "concurrency/Task.hpp"
#include "helpers/SleepClock.hpp"

namespace zirudeze::helpers {

// The time limit of withTimeout passed before the operation finished.
class TimeoutError : public std::exception {
 public:
  const char* what() const noexcept override { return "TimeoutError()"; }
  friend bool operator==(const TimeoutError&, const TimeoutError&) { return true; }
};

}  // namespace zirudeze::helpers

namespace zirudeze::helpers::detail {

template <class T>
class FirstOutcome {
 public:
  // Keeps the outcome of whichever child ends first; later ones are dropped.
  void offer(Result<T> outcome) {
    {
      const velmoria::base::MutexLock lock(mutex_);
      if (outcome_) return;
      outcome_.emplace(std::move(outcome));
    }
    decided_.notifyAll();
  }
  Result<T> wait() {
    velmoria::base::MutexLock lock(mutex_);
    decided_.wait(lock, [&]() VM_REQUIRES(mutex_) { return outcome_.has_value(); });
    return std::move(*outcome_);
  }

 private:
  velmoria::base::Mutex mutex_;
  velmoria::base::PlainConditionVariable decided_;
  std::optional<Result<T>> outcome_ VM_GUARDED_BY(mutex_);
};

template <class Operation>
using TimedResult =
    typename std::conditional_t<std::is_invocable_v<Operation&, std::stop_token>,
                                std::invoke_result<Operation&, std::stop_token>, std::invoke_result<Operation&>>::type;

}  // namespace zirudeze::helpers::detail

namespace zirudeze::helpers {

// Runs `operation` (called with its stop token when it takes one) with a limit of `interval` seconds
// on the process's sleeping clock. Whatever runs under it must honour that stop token (or the current
// task's, which is the same): a blocking HTTP send through the client does.
// Gives its value or rethrows its error, or throws TimeoutError when the limit passes first. Returns
// only after the operation has ended; once the limit passed, the operation is asked to stop and its
// late result is dropped. Cancelling the calling task cancels both the operation and the timer.
template <class Operation>
auto withTimeout(double interval, Operation operation) -> detail::TimedResult<Operation> {
  using T = detail::TimedResult<Operation>;
  // The limit runs on the process's sleeping clock as it is now, so a test clock moves it.
  const auto clock = currentSleepClock();
  const auto first = std::make_shared<detail::FirstOutcome<T>>();

  Task<void> work([first, operation = std::move(operation)](std::stop_token token) mutable {
    first->offer(resultOf([&]() -> T {
      if constexpr (std::is_invocable_v<Operation&, std::stop_token>) {
        return operation(token);
      } else {
        return operation();
      }
    }));
  });
  Task<void> timer([first, clock, interval](std::stop_token token) {
    first->offer(resultOf([&]() -> T {
      if (interval > 0) clock->sleep(interval, token);
      if (token.stop_requested()) throw CancellationError();
      throw TimeoutError();
    }));
  });

  Result<T> outcome = [&] {
    const std::stop_callback forward(currentStopToken(), [&] {
      work.cancel();
      timer.cancel();
    });
    return first->wait();
  }();
  work.cancel();
  timer.cancel();
  work.result();
  timer.result();
  if constexpr (std::is_void_v<T>) {
    outcome.get();
  } else {
    return std::move(outcome).get();
  }
}

}  // namespace zirudeze::helpers
