#include "clocks/TestClock.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <optional>
#include <thread>

#include "clocks/SystemClocks.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/CurrentTask.hpp"
#include "concurrency/StreamAdapters.hpp"
#include "issuereporting/ReportIssue.hpp"

namespace zirudeze::clocks {

// A parked sleeper's wait. Only whoever takes the sleeper's entry out of the list (under the clock's
// lock) ends the wait, so no wait is ever ended twice.
struct TestClock::Waiter {
  enum class State { pending, woken, cancelled };

  std::mutex mutex;
  std::condition_variable_any changed;
  State state = State::pending;

  void resume(State outcome) {
    {
      std::lock_guard lock(mutex);
      state = outcome;
    }
    changed.notify_all();
  }
};

Instant TestClock::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

std::size_t TestClock::suspensionCount() const {
  std::lock_guard lock(mutex_);
  return suspensions_.size();
}

void TestClock::sleepUntil(Instant deadline, std::optional<Duration>, std::stop_token token) const {
  const std::stop_token effective = helpers::effectiveStopToken(token);
  if (effective.stop_requested()) throw helpers::CancellationError();
  const base::UUID id = base::UUID::random();
  std::shared_ptr<Waiter> waiter;
  {
    std::lock_guard lock(mutex_);
    if (deadline >= now_) {
      waiter = std::make_shared<Waiter>();
      suspensions_.push_back(Suspension{id, deadline, waiter});
    }
  }
  if (!waiter) return;

  Waiter::State outcome;
  {
    std::unique_lock lock(waiter->mutex);
    waiter->changed.wait(lock, effective, [&] { return waiter->state != Waiter::State::pending; });
    outcome = waiter->state;
  }
  if (outcome == Waiter::State::woken && !effective.stop_requested()) return;
  if (outcome == Waiter::State::pending) {
    // Cancelled while parked: take the entry out ourselves, unless an advance already took it.
    std::lock_guard lock(mutex_);
    std::erase_if(suspensions_, [&](const Suspension& s) { return s.id == id; });
  }
  throw helpers::CancellationError();
}

void TestClock::checkSuspension() const {
  helpers::megaYield();
  std::lock_guard lock(mutex_);
  if (!suspensions_.empty()) throw SuspensionError();
}

void TestClock::advance(Duration by) const {
  Instant target;
  {
    std::lock_guard lock(mutex_);
    target = now_.advanced(by);
  }
  advance(target);
}

void TestClock::advance(Instant to) const {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (!(now_ <= to)) {
        helpers::megaYield();
        return;
      }
    }
    // Lets running work reach its next sleep before the clock moves.
    helpers::megaYield();
    std::shared_ptr<Waiter> next;
    {
      std::lock_guard lock(mutex_);
      std::stable_sort(suspensions_.begin(), suspensions_.end(),
                       [](const Suspension& a, const Suspension& b) { return a.deadline < b.deadline; });
      if (suspensions_.empty() || suspensions_.front().deadline > to) {
        now_ = to;
      } else {
        now_ = suspensions_.front().deadline;
        next = suspensions_.front().waiter;
        suspensions_.erase(suspensions_.begin());
      }
    }
    if (!next) {
      helpers::megaYield();
      return;
    }
    next->resume(Waiter::State::woken);
  }
}

void TestClock::run(Duration timeout, const issuereporting::SourceLocation& location) const {
  enum class Outcome { undecided, finished, failed };
  std::mutex decided;
  Outcome outcome = Outcome::undecided;
  const auto decide = [&](Outcome value) {
    std::lock_guard lock(decided);
    if (outcome == Outcome::undecided) outcome = value;
    return outcome == value;
  };

  std::atomic<bool> timedOut = false;
  std::stop_source driverStop;
  const std::stop_token caller = helpers::effectiveStopToken({});
  const std::stop_callback forwardCaller(caller, [&] { driverStop.request_stop(); });

  std::jthread watchdog([&](std::stop_token watchdogStop) {
    const ContinuousClock realTime;
    try {
      realTime.sleepUntil(realTime.now().advanced(timeout), std::nullopt, watchdogStop);
    } catch (const helpers::CancellationError&) {
      return;
    }
    if (!decide(Outcome::failed)) return;
    timedOut = true;
    std::vector<Suspension> taken;
    {
      std::lock_guard lock(mutex_);
      taken.swap(suspensions_);
    }
    for (const auto& suspension : taken) suspension.waiter->resume(Waiter::State::cancelled);
    driverStop.request_stop();
  });

  helpers::megaYield();
  while (true) {
    std::optional<Duration> step;
    {
      std::lock_guard lock(mutex_);
      const auto earliest =
          std::min_element(suspensions_.begin(), suspensions_.end(),
                           [](const Suspension& a, const Suspension& b) { return a.deadline < b.deadline; });
      if (earliest != suspensions_.end()) step = now_.durationTo(earliest->deadline);
    }
    if (!step) {
      // A sleeper just woken may be on its way to its next sleep; give it the chance to park.
      helpers::megaYield();
      if (suspensionCount() > 0) continue;
      decide(Outcome::finished);
      break;
    }
    if (driverStop.stop_requested()) {
      decide(Outcome::failed);
      if (timedOut.load()) {
        // Timed out: a sleeper woken by the last advance may have parked again after the watchdog
        // emptied the list. Let it arrive, then cancel what is parked now.
        helpers::megaYield();
        std::vector<Suspension> late;
        {
          std::lock_guard lock(mutex_);
          late.swap(suspensions_);
        }
        for (const auto& suspension : late) suspension.waiter->resume(Waiter::State::cancelled);
      }
      break;
    }
    advance(*step);
  }
  watchdog.request_stop();
  watchdog.join();

  if (outcome != Outcome::failed) return;
  const std::string shown = describe(timeout);
  issuereporting::reportIssue(
      [&]() -> std::optional<std::string> {
        return "Expected all sleeps to finish, but some are still suspending after " + shown +
               ".\n\nThere are sleeps suspending. This could mean you are not advancing the test clock far "
               "enough for your feature to execute its logic, or there could be a bug in your feature's "
               "logic.\n\nYou can also increase the timeout of 'run' to be greater than " +
               shown + ".";
      },
      issuereporting::IssueSeverity::error, location);
}

}  // namespace zirudeze::clocks
