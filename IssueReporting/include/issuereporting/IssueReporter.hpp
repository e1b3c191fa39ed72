#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "issuereporting/IssueSeverity.hpp"
#include "issuereporting/SourceLocation.hpp"

namespace zirudeze::issuereporting {

// A message is handed over unevaluated; each reporter decides whether to build it.
using Message = std::function<std::optional<std::string>()>;

// The textual description of a caught error: what() of a standard exception, else a fixed text.
std::string errorDescription(const std::exception_ptr& error);

// "Caught error: <description>", then ": <message>" when the message yields a value (also an empty one).
std::string caughtErrorText(const std::exception_ptr& error, const Message& message);

// Evaluates a message that may be empty (no closure at all counts as no message).
std::optional<std::string> evaluate(const Message& message);

// Receives reported issues. Implement reportIssue or reportIssueWithoutSeverity (each defaults to
// the other) and reportError; the expectation requirements do nothing unless overridden.
class IssueReporter {
 public:
  virtual ~IssueReporter() = default;

  virtual void reportIssue(const Message& message, IssueSeverity severity, const SourceLocation& location) const;
  virtual void reportError(const std::exception_ptr& error, const Message& message,
                           const SourceLocation& location) const = 0;
  virtual void expectIssue(const Message& message, const SourceLocation& location) const;
  virtual void expectError(const std::exception_ptr& error, const Message& message,
                           const SourceLocation& location) const;
  virtual void reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const;
};

}  // namespace zirudeze::issuereporting
