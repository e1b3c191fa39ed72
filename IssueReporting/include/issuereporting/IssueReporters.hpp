#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "base/ThreadSafety.hpp"
#include "concurrency/TaskLocal.hpp"
#include "issuereporting/IssueReporter.hpp"

namespace zirudeze::issuereporting {

using ReporterList = std::vector<std::shared_ptr<const IssueReporter>>;

// The reporters one scope has in force, behind their own lock so a change inside the scope stays there.
class ReporterBox {
 public:
  explicit ReporterBox(ReporterList reporters) : reporters_(std::move(reporters)) {}

  ReporterList get() const {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    return reporters_;
  }
  void set(ReporterList reporters) {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    reporters_ = std::move(reporters);
  }

 private:
  mutable velmoria::base::RecursiveMutex mutex_;
  ReporterList reporters_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::issuereporting

namespace zirudeze::issuereporting::detail {
const concurrency::TaskLocal<std::shared_ptr<ReporterBox>>& reporterSlot();
}  // namespace zirudeze::issuereporting::detail

namespace zirudeze::issuereporting {

struct IssueReporters {
  // The reporters in force for this task: the innermost scope's, else the process default
  // (one DefaultReporter).
  static ReporterList current();
  // Replaces the list of the innermost scope, or the process default outside any scope.
  static void setCurrent(ReporterList reporters);
};

// Runs `operation` with `reporters` in force (also for tasks it starts) and returns its result.
template <class Operation>
decltype(auto) withIssueReporters(ReporterList reporters, Operation&& operation) {
  return detail::reporterSlot().withValue(std::make_shared<ReporterBox>(std::move(reporters)),
                                          std::forward<Operation>(operation));
}

}  // namespace zirudeze::issuereporting
