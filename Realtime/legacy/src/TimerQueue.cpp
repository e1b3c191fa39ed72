#include "realtime/legacy/TimerQueue.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

#include "SocketMutex.hpp"
#include "base/Immortal.hpp"
#include "base/ThreadSafety.hpp"
#include "clocks/ClockEnvironment.hpp"
#include "concurrency/CancellationError.hpp"

namespace zirudeze::realtime {

struct WorkItem::State {
  explicit State(std::function<void()> given, std::shared_ptr<SocketMutex> lock)
      : guard(std::move(lock)), work(std::move(given)) {}

  const std::shared_ptr<SocketMutex> guard;
  mutable velmoria::base::Mutex mutex;
  std::function<void()> work VM_GUARDED_BY(mutex);
  std::atomic<bool> cancelled{false};
};

WorkItem::WorkItem(std::function<void()> work, std::shared_ptr<SocketMutex> guard)
    : state_(std::make_unique<State>(std::move(work), std::move(guard))) {}

WorkItem::~WorkItem() = default;

void WorkItem::cancel() {
  std::function<void()> released;
  {
    velmoria::base::MutexLock lock(state_->mutex);
    state_->cancelled.store(true);
    released = std::move(state_->work);
    state_->work = nullptr;
  }
  // What the work held (often its owner) goes here, outside the item's lock.
}

bool WorkItem::isCancelled() const noexcept { return state_->cancelled.load(); }

void WorkItem::perform() { run(false); }

void WorkItem::run(bool keepWork) {
  std::function<void()> work;
  {
    velmoria::base::MutexLock lock(state_->mutex);
    if (state_->cancelled.load() || !state_->work) return;
    if (keepWork) {
      work = state_->work;
    } else {
      work = std::move(state_->work);
      state_->work = nullptr;
    }
  }
  if (!state_->guard) return work();
  SocketLock lock(*state_->guard);
  if (isCancelled()) return;
  work();
}

namespace {

using clocks::Duration;
using clocks::Instant;

constexpr std::int64_t kLongestWait = std::int64_t{1} << 40;  // milliseconds, some 35 years

Duration millisecondsAsDuration(std::int64_t milliseconds) { return std::chrono::milliseconds(milliseconds); }

}  // namespace

std::int64_t TimerQueue::wholeMilliseconds(double interval) noexcept {
  if (!(interval > 0)) return 0;
  const double milliseconds = interval * 1000.0;
  if (milliseconds >= static_cast<double>(kLongestWait)) return kLongestWait;
  return std::llround(milliseconds);
}

struct TimerQueue::State : std::enable_shared_from_this<TimerQueue::State> {
  struct Entry {
    Instant deadline;
    std::uint64_t order = 0;
    std::shared_ptr<WorkItem> item;
    std::optional<Duration> period;
  };

  explicit State(std::shared_ptr<const clocks::Clock> source) : clock(std::move(source)) {}

  // Earliest first; equal deadlines in the order they were queued.
  static bool later(const Entry& a, const Entry& b) {
    return a.deadline != b.deadline ? a.deadline > b.deadline : a.order > b.order;
  }

  void add(Instant deadline, std::shared_ptr<WorkItem> item, std::optional<Duration> period) {
    std::vector<Entry> dropped;
    {
      velmoria::base::MutexLock lock(mutex);
      if (stopped) return;
      entries.push_back(Entry{deadline, nextOrder++, std::move(item), period});
      std::push_heap(entries.begin(), entries.end(), later);
      // Cancelled items wait for their deadline in the heap; sweep them out once they pile up.
      if (entries.size() >= sweepAt) {
        std::vector<Entry> kept;
        for (auto& entry : entries) (entry.item->isCancelled() ? dropped : kept).push_back(std::move(entry));
        entries = std::move(kept);
        std::make_heap(entries.begin(), entries.end(), later);
        sweepAt = std::max<std::size_t>(64, entries.size() * 2);
      }
      if (!started) {
        started = true;
        std::thread([self = shared_from_this()] { self->run(); }).swap(thread);
      }
      if (sleepingUntil && deadline < *sleepingUntil) wake.request_stop();
    }
    changed.notifyAll();
  }

  void run() {
    velmoria::base::MutexLock lock(mutex);
    while (!stopped) {
      dropReleased();
      if (stopped) break;
      if (entries.empty()) {
        changed.wait(lock, [this]() VM_REQUIRES(mutex) { return stopped || !entries.empty(); });
        continue;
      }
      std::pop_heap(entries.begin(), entries.end(), later);
      Entry next = std::move(entries.back());
      entries.pop_back();
      if (next.item->isCancelled()) {
        released.push_back(std::move(next));
        continue;
      }
      const Instant now = clock->now();
      if (next.deadline > now) {
        const Instant deadline = next.deadline;
        entries.push_back(std::move(next));
        std::push_heap(entries.begin(), entries.end(), later);
        sleep(deadline);
        continue;
      }
      running = true;
      {
        Unlocked unlocked(mutex);
        next.item->run(next.period.has_value());
      }
      running = false;
      if (next.period && !next.item->isCancelled()) {
        // Like a repeating dispatch timer: ticks missed while busy are not made up.
        Instant deadline = next.deadline.advanced(*next.period);
        const Instant after = clock->now();
        while (deadline <= after) deadline = deadline.advanced(*next.period);
        next.deadline = deadline;
        next.order = nextOrder++;
        entries.push_back(std::move(next));
        std::push_heap(entries.begin(), entries.end(), later);
      } else {
        released.push_back(std::move(next));
      }
    }
  }

  // Sleeps on the clock until `deadline`, or until an earlier item or a stop comes.
  void sleep(Instant deadline) VM_REQUIRES(mutex) {
    wake = std::stop_source();
    sleepingUntil = deadline;
    const std::stop_token token = wake.get_token();
    {
      Unlocked unlocked(mutex);
      try {
        clock->sleepUntil(deadline, std::nullopt, token);
      } catch (const concurrency::CancellationError&) {
      }
    }
    sleepingUntil.reset();
  }

  // What ran or was cancelled lets go of its work outside the lock.
  void dropReleased() VM_REQUIRES(mutex) {
    if (released.empty()) return;
    std::vector<Entry> gone = std::move(released);
    released.clear();
    Unlocked unlocked(mutex);
    gone.clear();
  }

  std::size_t pending() const {
    velmoria::base::MutexLock lock(mutex);
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const Entry& entry) { return !entry.item->isCancelled(); }));
  }

  // Nothing running, nothing due, and the thread asleep until the earliest deadline it knows of.
  bool settled() const {
    velmoria::base::MutexLock lock(mutex);
    if (running) return false;
    const Instant now = clock->now();
    std::optional<Instant> earliest;
    for (const auto& entry : entries) {
      if (!entry.item->isCancelled() && entry.deadline <= now) return false;
      if (!earliest || entry.deadline < *earliest) earliest = entry.deadline;
    }
    return !earliest || sleepingUntil == earliest;
  }

  void shutdown() {
    std::vector<Entry> dropped;
    std::thread worker;
    {
      velmoria::base::MutexLock lock(mutex);
      stopped = true;
      wake.request_stop();
      dropped = std::move(entries);
      entries.clear();
      worker = std::move(thread);
    }
    changed.notifyAll();
    if (worker.joinable()) {
      if (worker.get_id() == std::this_thread::get_id()) {
        worker.detach();
      } else {
        worker.join();
      }
    }
    // Cancelled, so work that holds its owner (which holds the item) lets go of it.
    for (auto& entry : dropped) entry.item->cancel();
    velmoria::base::MutexLock lock(mutex);
    for (auto& entry : released) entry.item->cancel();
    released.clear();
  }

  // Releases the held mutex for a scope.
  struct VM_SCOPED_CAPABILITY Unlocked {
    explicit Unlocked(velmoria::base::Mutex& held) VM_RELEASE(held) : mutex(held) { mutex.unlock(); }
    ~Unlocked() VM_RELEASE() { mutex.lock(); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;
    velmoria::base::Mutex& mutex;
  };

  const std::shared_ptr<const clocks::Clock> clock;
  mutable velmoria::base::Mutex mutex;
  velmoria::base::ConditionVariable changed;
  std::vector<Entry> entries VM_GUARDED_BY(mutex);
  std::vector<Entry> released VM_GUARDED_BY(mutex);
  std::uint64_t nextOrder VM_GUARDED_BY(mutex) = 0;
  std::size_t sweepAt VM_GUARDED_BY(mutex) = 64;
  std::optional<Instant> sleepingUntil VM_GUARDED_BY(mutex);
  std::stop_source wake VM_GUARDED_BY(mutex);
  bool running VM_GUARDED_BY(mutex) = false;
  bool started VM_GUARDED_BY(mutex) = false;
  bool stopped VM_GUARDED_BY(mutex) = false;
  std::thread thread VM_GUARDED_BY(mutex);
};

TimerQueue::TimerQueue(std::shared_ptr<const clocks::Clock> clock)
    : state_(std::make_shared<State>(std::move(clock))) {}

TimerQueue::~TimerQueue() { state_->shutdown(); }

namespace {

struct MainQueues {
  velmoria::base::Mutex mutex;
  std::shared_ptr<TimerQueue> process VM_GUARDED_BY(mutex);
  std::vector<std::shared_ptr<TimerQueue>> overrides VM_GUARDED_BY(mutex);
};

MainQueues& mainQueues() {
  static velmoria::base::Immortal<MainQueues> queues;
  return *queues;
}

}  // namespace

std::shared_ptr<TimerQueue> TimerQueue::main() {
  MainQueues& queues = mainQueues();
  velmoria::base::MutexLock lock(queues.mutex);
  if (!queues.overrides.empty()) return queues.overrides.back();
  if (!queues.process) queues.process = std::make_shared<TimerQueue>(clocks::defaultSuspendingClock());
  return queues.process;
}

const std::shared_ptr<const clocks::Clock>& TimerQueue::clock() const noexcept { return state_->clock; }

void TimerQueue::queue(double interval, std::shared_ptr<WorkItem> item) {
  if (!item) return;
  const Instant deadline = state_->clock->now().advanced(millisecondsAsDuration(wholeMilliseconds(interval)));
  state_->add(deadline, std::move(item), std::nullopt);
}

void TimerQueue::queueRepeating(double interval, std::shared_ptr<WorkItem> item) {
  if (!item) return;
  // A period of 0 would spin; a tick each millisecond is the closest a timer of this queue comes.
  const Duration period = millisecondsAsDuration(std::max<std::int64_t>(1, wholeMilliseconds(interval)));
  state_->add(state_->clock->now().advanced(period), std::move(item), period);
}

std::size_t TimerQueue::pendingCount() const { return state_->pending(); }

bool TimerQueue::isSettled() const { return state_->settled(); }

void TimerQueue::shutdown() { state_->shutdown(); }

TimerQueue::ScopedOverride::ScopedOverride(std::shared_ptr<const clocks::Clock> clock)
    : queue_(std::make_shared<TimerQueue>(std::move(clock))) {
  MainQueues& queues = mainQueues();
  velmoria::base::MutexLock lock(queues.mutex);
  queues.overrides.push_back(queue_);
}

TimerQueue::ScopedOverride::~ScopedOverride() {
  {
    MainQueues& queues = mainQueues();
    velmoria::base::MutexLock lock(queues.mutex);
    std::erase(queues.overrides, queue_);
  }
  queue_->shutdown();
}

}  // namespace zirudeze::realtime
