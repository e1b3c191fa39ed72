#pragma once

#include <exception>

#include "issuereporting/IssueReporter.hpp"
#include "issuereporting/IssueSeverity.hpp"
#include "issuereporting/SourceLocation.hpp"

namespace zirudeze::issuereporting {

// Hands an issue to the reporters in force. With none, the message is never evaluated; with a failure
// observer bound, the issue counts as expected.
void reportIssue(const Message& message, IssueSeverity severity, const SourceLocation& location);

void reportIssue(const std::exception_ptr& error, const Message& message, const SourceLocation& location);

}  // namespace zirudeze::issuereporting

// The message expression is evaluated only when a reporter asks for it.
#define VM_REPORT_ISSUE(message)                                                                     \
  ::zirudeze::issuereporting::reportIssue([&]() -> std::optional<std::string> { return (message); }, \
                                          ::zirudeze::issuereporting::IssueSeverity::error, VM_SOURCE_LOCATION())

#define VM_REPORT_ERROR(error, message)                                                                       \
  ::zirudeze::issuereporting::reportIssue((error), [&]() -> std::optional<std::string> { return (message); }, \
                                          VM_SOURCE_LOCATION())
