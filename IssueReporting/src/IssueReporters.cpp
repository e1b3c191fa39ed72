#include "issuereporting/IssueReporters.hpp"

#include "issuereporting/DefaultReporter.hpp"

namespace zirudeze::issuereporting::detail {

const concurrency::TaskLocal<std::shared_ptr<ReporterBox>>& reporterSlot() {
  static const concurrency::TaskLocal<std::shared_ptr<ReporterBox>> slot(
      std::make_shared<ReporterBox>(ReporterList{std::make_shared<DefaultReporter>()}));
  return slot;
}

}  // namespace zirudeze::issuereporting::detail

namespace zirudeze::issuereporting {

ReporterList IssueReporters::current() { return detail::reporterSlot().get()->get(); }

void IssueReporters::setCurrent(ReporterList reporters) { detail::reporterSlot().get()->set(std::move(reporters)); }

}  // namespace zirudeze::issuereporting
