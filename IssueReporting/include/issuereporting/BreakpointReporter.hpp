#pragma once

#include "issuereporting/IssueReporter.hpp"

namespace zirudeze::issuereporting {

// Writes each issue to standard error and, when a debugger traces the process, breaks into it.
class BreakpointReporter final : public IssueReporter {
 public:
  void reportIssue(const Message& message, IssueSeverity severity, const SourceLocation& location) const override;
  void reportError(const std::exception_ptr& error, const Message& message,
                   const SourceLocation& location) const override;
  void reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const override;
};

// Asked afresh each time: a tracer may attach or detach at any moment.
bool isDebuggerAttached();

}  // namespace zirudeze::issuereporting
