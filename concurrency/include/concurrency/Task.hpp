#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <type_traits>
#include <utility>

#include "base/ThreadSafety.hpp"
#include "concurrency/CurrentTask.hpp"
#include "concurrency/Result.hpp"
#include "concurrency/TaskExecutor.hpp"
#include "concurrency/TaskLocal.hpp"

namespace zirudeze::concurrency {

// A handle to work running detached on its own thread. The task sees its own stop token as the current
// one and the task-local bindings its creator had when it was started. Dropping every handle neither
// cancels nor waits for the work; `cancel()` asks it to stop. Copies share the one task.
template <class T = void>
class Task {
 public:
  // `body` is called as body(std::stop_token) when it takes one, else as body().
  template <class Body>
  requires(!std::is_same_v<std::decay_t<Body>, Task>) explicit Task(Body&& body)
      : Task(TaskPriority::medium, std::forward<Body>(body)) {}

  template <class Body>
  Task(TaskPriority /*priority*/, Body&& body) : state_(std::make_shared<State>()) {
    auto run = [state = state_, snapshot = TaskLocalSnapshot::capture(),
                body = std::decay_t<Body>(std::forward<Body>(body))]() mutable {
      const auto token = state->stop.get_token();
      Result<T> result = [&] {
        const TaskLocalSnapshot::Installed locals(snapshot);
        const CurrentStopTokenScope current(token);
        return resultOf([&]() -> T {
          if constexpr (std::is_invocable_v<decltype(body)&, std::stop_token>) {
            return body(token);
          } else {
            return body();
          }
        });
      }();
      // Drop what the body captured before waking waiters, so the task's end releases its resources.
      { [[maybe_unused]] auto released = std::move(body); }
      state->finish(std::move(result));
    };
    state_->job = std::make_shared<TaskJob>(std::move(run));
    submitTaskJob(state_->job);
  }

  void cancel() const { state_->stop.request_stop(); }
  bool isCancelled() const { return state_->stop.stop_requested(); }
  std::stop_token stopToken() const { return state_->stop.get_token(); }

  bool isFinished() const {
    const velmoria::base::MutexLock lock(state_->mutex);
    return state_->result.has_value();
  }

  // Waits for the task to end and returns its outcome.
  Result<T> result() const {
    if (onSerialTaskThread()) state_->job->tryRun();
    velmoria::base::MutexLock lock(state_->mutex);
    state_->done.wait(lock, [&]() VM_REQUIRES(state_->mutex) { return state_->result.has_value(); });
    return *state_->result;
  }

  // Waits for the task's value; its exception is rethrown.
  T value() const { return result().get(); }

  // Like value(), but cancelling the waiting task cancels this one too.
  T valueWithCancellation() const {
    const std::stop_callback forward(currentStopToken(), [state = state_] { state->stop.request_stop(); });
    return value();
  }

 private:
  struct State {
    std::stop_source stop;
    std::shared_ptr<TaskJob> job;
    velmoria::base::Mutex mutex;
    velmoria::base::PlainConditionVariable done;
    std::optional<Result<T>> result VM_GUARDED_BY(mutex);

    void finish(Result<T> outcome) {
      {
        const velmoria::base::MutexLock lock(mutex);
        result.emplace(std::move(outcome));
      }
      done.notifyAll();
    }
  };

  std::shared_ptr<State> state_;
};

}  // namespace zirudeze::concurrency

namespace zirudeze::concurrency::detail {
template <class Body>
using TaskBodyResult = typename std::conditional_t<std::is_invocable_v<std::decay_t<Body>&, std::stop_token>,
                                                   std::invoke_result<std::decay_t<Body>&, std::stop_token>,
                                                   std::invoke_result<std::decay_t<Body>&>>::type;
}  // namespace zirudeze::concurrency::detail

namespace zirudeze::concurrency {

template <class Body>
Task(Body&&) -> Task<detail::TaskBodyResult<Body>>;

template <class Body>
Task(TaskPriority, Body&&) -> Task<detail::TaskBodyResult<Body>>;

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
