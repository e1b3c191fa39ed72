#include "issuereporting/FailureObserver.hpp"

namespace zirudeze::issuereporting {

const concurrency::TaskLocal<std::shared_ptr<FailureObserver>>& FailureObserver::slot() {
  static const concurrency::TaskLocal<std::shared_ptr<FailureObserver>> slot(nullptr);
  return slot;
}

std::shared_ptr<FailureObserver> FailureObserver::current() { return slot().get(); }

}  // namespace zirudeze::issuereporting
