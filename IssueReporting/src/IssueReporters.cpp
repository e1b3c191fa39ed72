#include "issuereporting/IssueReporters.hpp"

#include "issuereporting/DefaultReporter.hpp"

namespace zirudeze::issuereporting {

namespace detail {

const helpers::TaskLocal<std::shared_ptr<ReporterBox>>& reporterSlot() {
  static const helpers::TaskLocal<std::shared_ptr<ReporterBox>> slot(
      std::make_shared<ReporterBox>(ReporterList{std::make_shared<DefaultReporter>()}));
  return slot;
}

}  // namespace detail

ReporterList IssueReporters::current() { return detail::reporterSlot().get()->get(); }

void IssueReporters::setCurrent(ReporterList reporters) { detail::reporterSlot().get()->set(std::move(reporters)); }

}  // namespace zirudeze::issuereporting
