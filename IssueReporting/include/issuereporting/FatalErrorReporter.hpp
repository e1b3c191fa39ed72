#pragma once

#include "issuereporting/IssueReporter.hpp"

namespace zirudeze::issuereporting {

// Turns every reported issue into a stop of the process; expected issues pass untouched.
class FatalErrorReporter final : public IssueReporter {
 public:
  [[noreturn]] void reportIssue(const Message& message, IssueSeverity severity,
                                const SourceLocation& location) const override;
  [[noreturn]] void reportError(const std::exception_ptr& error, const Message& message,
                                const SourceLocation& location) const override;
  [[noreturn]] void reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const override;
};

// Writes "<filePath>:<line>: Fatal error: <text>" to standard error and aborts.
[[noreturn]] void fatalError(const std::string& text, const char* filePath, std::uint64_t line);

}  // namespace zirudeze::issuereporting
