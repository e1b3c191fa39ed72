#include "issuereporting/ReportIssue.hpp"

#include "issuereporting/FailureObserver.hpp"
#include "issuereporting/IssueContext.hpp"
#include "issuereporting/IssueReporters.hpp"

namespace zirudeze::issuereporting {

void reportIssue(const Message& message, IssueSeverity severity, const SourceLocation& location) {
  if (IssueReporters::current().empty()) return;
  const SourceLocation resolved = resolveLocation(location);
  if (const auto observer = FailureObserver::current()) {
    observer->withLock([](std::int64_t& count) { ++count; });
    for (const auto& reporter : IssueReporters::current()) reporter->expectIssue(message, resolved);
    return;
  }
  for (const auto& reporter : IssueReporters::current()) reporter->reportIssue(message, severity, resolved);
}

void reportIssue(const std::exception_ptr& error, const Message& message, const SourceLocation& location) {
  if (IssueReporters::current().empty()) return;
  const SourceLocation resolved = resolveLocation(location);
  if (const auto observer = FailureObserver::current()) {
    observer->withLock([](std::int64_t& count) { ++count; });
    for (const auto& reporter : IssueReporters::current()) reporter->expectError(error, message, resolved);
    return;
  }
  for (const auto& reporter : IssueReporters::current()) reporter->reportError(error, message, resolved);
}

}  // namespace zirudeze::issuereporting
