#include "SerialDelivery.hpp"

#include "concurrency/TaskExecutor.hpp"
#include "issuereporting/ReportIssue.hpp"

namespace zirudeze::realtime {

namespace {

thread_local int deliveries = 0;

void run(const std::function<void()>& work) {
  ++deliveries;
  try {
    work();
  } catch (...) {
    // A report's handler or a callback has nobody to throw to: the work after it still runs.
    VM_REPORT_ERROR(std::current_exception(), "Work of the legacy realtime socket threw; it is dropped");
  }
  --deliveries;
}

}  // namespace

void SerialDelivery::post(std::function<void()> work) {
  add(std::move(work));
  if (claim()) handOff();
}

void SerialDelivery::add(std::function<void()> work) {
  velmoria::base::MutexLock lock(mutex_);
  queue_.push_back(std::move(work));
}

std::optional<std::size_t> SerialDelivery::claim() {
  velmoria::base::MutexLock lock(mutex_);
  if (draining_ || queue_.empty()) return std::nullopt;
  draining_ = true;
  return queue_.size();
}

void SerialDelivery::runClaimed(std::size_t count) {
  for (; count > 0; --count) {
    const auto work = next();
    if (!work) return;
    run(work);
  }
  {
    velmoria::base::MutexLock lock(mutex_);
    if (queue_.empty()) {
      draining_ = false;
      return;
    }
  }
  handOff();
}

bool SerialDelivery::delivering() noexcept { return deliveries > 0; }

void SerialDelivery::handOff() {
  concurrency::submitTaskJob(std::make_shared<concurrency::TaskJob>([self = shared_from_this()] { self->drain(); }));
}

void SerialDelivery::drain() {
  while (const auto work = next()) run(work);
}

std::function<void()> SerialDelivery::next() {
  velmoria::base::MutexLock lock(mutex_);
  if (queue_.empty()) {
    draining_ = false;
    return nullptr;
  }
  std::function<void()> work = std::move(queue_.front());
  queue_.pop_front();
  return work;
}

}  // namespace zirudeze::realtime
