#include "clocks/TestClock.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "ThreadActivity.hpp"
#include "base/ThreadSafety.hpp"
#include "clocks/SystemClocks.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/CurrentTask.hpp"
#include "concurrency/StreamAdapters.hpp"
#include "issuereporting/ReportIssue.hpp"

namespace zirudeze::clocks {
namespace {

using RealTime = std::chrono::steady_clock;

// A woken sleeper that has not run for this long while blocked (on anything but this clock) is done
// with the clock for now.
constexpr auto kBlockedFor = std::chrono::milliseconds(10);
// One that keeps running this long without sleeping again is busy with other work.
constexpr auto kBusyFor = std::chrono::seconds(2);
// How often a hand-over looks at the sleepers it waits for.
constexpr auto kLookEvery = std::chrono::milliseconds(1);

}  // namespace

// A parked sleeper's wait. Only whoever takes the sleeper's entry out of the list (under the clock's
// lock) ends the wait, so no wait is ever ended twice.
struct TestClock::Waiter {
  enum class Outcome { pending, woken, cancelled };

  void resume(Outcome value) {
    {
      const velmoria::base::MutexLock lock(mutex);
      outcome = value;
    }
    changed.notifyAll();
  }

  // The outcome; pending when `stop` came first.
  Outcome wait(const std::stop_token& stop) {
    velmoria::base::MutexLock lock(mutex);
    changed.wait(lock, stop, [this]() VM_REQUIRES(mutex) { return outcome != Outcome::pending; });
    return outcome;
  }

  velmoria::base::Mutex mutex;
  velmoria::base::ConditionVariable changed;
  Outcome outcome VM_GUARDED_BY(mutex) = Outcome::pending;
};

struct TestClock::State {
  // Sleepers are told apart by a number of the clock's own: a random draw would touch the crypto
  // library, which a detached sleeper may still reach while the process exits.
  using SleeperID = std::uint64_t;

  struct Suspension {
    SleeperID id;
    Instant deadline;
    std::shared_ptr<Waiter> waiter;
  };

  // A sleeper an advance woke, from then until it is parked again or done with the clock.
  struct Awake {
    SleeperID id;
    bool left = false;  // back from its sleep and running its own code on `thread`
    pid_t thread = 0;
    RealTime::time_point leftAt{};
    std::optional<RealTime::time_point> idleSince;
    std::uint64_t idleSwitches = 0;
  };

  explicit State(Instant start) : now(start) {}

  // Forgets awake sleepers that are done: their thread ended, stayed blocked for kBlockedFor, or ran on
  // for kBusyFor. True when no sleeper is on its way back.
  bool settled(RealTime::time_point at) VM_REQUIRES(mutex) {
    std::erase_if(awake, [at](Awake& sleeper) {
      if (!sleeper.left) return false;
      const auto activity = detail::observeThread(sleeper.thread);
      if (!activity.exists) return true;
      if (activity.runnable) {
        sleeper.idleSince.reset();
        return at - sleeper.leftAt >= kBusyFor;
      }
      if (!sleeper.idleSince || sleeper.idleSwitches != activity.switches) {
        sleeper.idleSince = at;
        sleeper.idleSwitches = activity.switches;
        return false;
      }
      return at - *sleeper.idleSince >= kBlockedFor;
    });
    return awake.empty();
  }

  // Waits until every woken sleeper is parked again or done, `stop` is requested, or `limit` passes.
  void awaitHandOver(velmoria::base::MutexLock& lock, const std::stop_token& stop, RealTime::time_point limit)
      VM_REQUIRES(mutex) {
    while (!settled(RealTime::now())) {
      const auto at = RealTime::now();
      if (stop.stop_requested() || at >= limit) return;
      const auto seen = handOvers;
      changed.waitUntil(lock, std::min(limit, at + kLookEvery),
                        [&]() VM_REQUIRES(mutex) { return handOvers != seen || stop.stop_requested(); });
    }
  }

  void noteHandOver() VM_REQUIRES(mutex) { ++handOvers; }

  // Lets a driver waiting in awaitHandOver look again at once.
  void wakeDrivers() {
    { const velmoria::base::MutexLock lock(mutex); }
    changed.notifyAll();
  }

  velmoria::base::Mutex mutex;
  velmoria::base::ConditionVariable changed;
  Instant now VM_GUARDED_BY(mutex);
  std::vector<Suspension> suspensions VM_GUARDED_BY(mutex);
  std::vector<Awake> awake VM_GUARDED_BY(mutex);
  std::uint64_t handOvers VM_GUARDED_BY(mutex) = 0;
  // Set while run gives up: sleepers that arrive then fail at once instead of parking.
  bool cancelArrivals VM_GUARDED_BY(mutex) = false;
  SleeperID lastSleeperID VM_GUARDED_BY(mutex) = 0;
};

TestClock::TestClock(Instant now) : state_(std::make_unique<State>(now)) {}
TestClock::~TestClock() = default;

Instant TestClock::now() const {
  const velmoria::base::MutexLock lock(state_->mutex);
  return state_->now;
}

std::size_t TestClock::suspensionCount() const {
  const velmoria::base::MutexLock lock(state_->mutex);
  return state_->suspensions.size();
}

void TestClock::sleepUntil(Instant deadline, std::optional<Duration>, std::stop_token token) const {
  const std::stop_token effective = concurrency::effectiveStopToken(token);
  if (effective.stop_requested()) throw concurrency::CancellationError();
  State::SleeperID id = 0;
  const pid_t self = detail::currentThreadId();
  State& state = *state_;
  std::shared_ptr<Waiter> waiter;
  bool refused = false;
  {
    const velmoria::base::MutexLock lock(state.mutex);
    if (deadline >= state.now) {
      // Parking again ends this thread's way back from its last wake.
      std::erase_if(state.awake, [self](const State::Awake& a) { return a.left && a.thread == self; });
      state.noteHandOver();
      if (state.cancelArrivals) {
        refused = true;
      } else {
        waiter = std::make_shared<Waiter>();
        id = ++state.lastSleeperID;
        state.suspensions.push_back(State::Suspension{id, deadline, waiter});
      }
    }
  }
  state.changed.notifyAll();
  if (refused) throw concurrency::CancellationError();
  if (!waiter) return;

  const Waiter::Outcome outcome = waiter->wait(effective);
  {
    const velmoria::base::MutexLock lock(state.mutex);
    if (outcome == Waiter::Outcome::pending) {
      // Cancelled while parked: take the entry out ourselves, unless an advance already took it.
      std::erase_if(state.suspensions, [&](const State::Suspension& s) { return s.id == id; });
    }
    for (auto& sleeper : state.awake) {
      if (sleeper.id != id) continue;
      sleeper.left = true;
      sleeper.thread = self;
      sleeper.leftAt = RealTime::now();
    }
    state.noteHandOver();
  }
  state.changed.notifyAll();
  if (outcome == Waiter::Outcome::woken && !effective.stop_requested()) return;
  throw concurrency::CancellationError();
}

void TestClock::checkSuspension() const {
  concurrency::megaYield();
  const velmoria::base::MutexLock lock(state_->mutex);
  if (!state_->suspensions.empty()) throw SuspensionError();
}

void TestClock::advance(Duration by) const {
  Instant target;
  {
    const velmoria::base::MutexLock lock(state_->mutex);
    target = state_->now.advanced(by);
  }
  advance(target);
}

void TestClock::advance(Instant to) const {
  State& state = *state_;
  while (true) {
    {
      const velmoria::base::MutexLock lock(state.mutex);
      if (!(state.now <= to)) {
        concurrency::megaYield();
        return;
      }
    }
    // Lets running work reach its next sleep before the clock moves.
    concurrency::megaYield();
    std::shared_ptr<Waiter> next;
    {
      velmoria::base::MutexLock lock(state.mutex);
      state.awaitHandOver(lock, {}, RealTime::now() + kBusyFor);
      auto& list = state.suspensions;
      std::stable_sort(list.begin(), list.end(),
                       [](const State::Suspension& a, const State::Suspension& b) { return a.deadline < b.deadline; });
      if (list.empty() || list.front().deadline > to) {
        state.now = to;
      } else {
        state.now = list.front().deadline;
        next = list.front().waiter;
        State::Awake woken;
        woken.id = list.front().id;
        state.awake.push_back(woken);
        list.erase(list.begin());
      }
    }
    if (!next) {
      concurrency::megaYield();
      return;
    }
    next->resume(Waiter::Outcome::woken);
  }
}

void TestClock::run(Duration timeout, const issuereporting::SourceLocation& location) const {
  enum class Outcome { undecided, finished, failed };
  velmoria::base::Mutex decided;
  Outcome outcome = Outcome::undecided;
  const auto decide = [&](Outcome value) {
    const velmoria::base::MutexLock lock(decided);
    if (outcome == Outcome::undecided) outcome = value;
    return outcome == value;
  };

  State& state = *state_;
  std::stop_source driverStop;
  const std::stop_token caller = concurrency::effectiveStopToken({});
  const std::stop_callback forwardCaller(caller, [&] {
    driverStop.request_stop();
    state.wakeDrivers();
  });

  std::jthread watchdog([&](std::stop_token watchdogStop) {
    const ContinuousClock realTime;
    try {
      realTime.sleepUntil(realTime.now().advanced(timeout), std::nullopt, watchdogStop);
    } catch (const concurrency::CancellationError&) {
      return;
    }
    if (!decide(Outcome::failed)) return;
    driverStop.request_stop();
    state.wakeDrivers();
  });

  concurrency::megaYield();
  const std::stop_token stop = driverStop.get_token();
  while (true) {
    std::optional<Duration> step;
    {
      velmoria::base::MutexLock lock(state.mutex);
      // A sleeper just woken is on its way to its next sleep or to its end; wait for it to get there.
      state.awaitHandOver(lock, stop, RealTime::time_point::max());
      const auto earliest = std::min_element(
          state.suspensions.begin(), state.suspensions.end(),
          [](const State::Suspension& a, const State::Suspension& b) { return a.deadline < b.deadline; });
      if (earliest == state.suspensions.end()) {
        decide(Outcome::finished);
        break;
      }
      if (stop.stop_requested()) {
        decide(Outcome::failed);
        break;
      }
      step = state.now.durationTo(earliest->deadline);
    }
    advance(*step);
  }
  watchdog.request_stop();
  watchdog.join();
  if (outcome != Outcome::failed) return;

  // Given up: every sleeper parked now fails, and so does every one that arrives while the sleepers
  // woken last are on their way back.
  std::vector<State::Suspension> taken;
  {
    velmoria::base::MutexLock lock(state.mutex);
    state.cancelArrivals = true;
    taken.swap(state.suspensions);
  }
  for (const auto& suspension : taken) suspension.waiter->resume(Waiter::Outcome::cancelled);
  {
    velmoria::base::MutexLock lock(state.mutex);
    state.awaitHandOver(lock, {}, RealTime::now() + kBusyFor);
    state.cancelArrivals = false;
  }

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
