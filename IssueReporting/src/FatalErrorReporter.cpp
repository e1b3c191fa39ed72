#include "issuereporting/FatalErrorReporter.hpp"

#include <string>

#include "base/Check.hpp"

namespace zirudeze::issuereporting {

namespace {
std::string orIssueReported(std::string text) { return text.empty() ? std::string("Issue reported") : text; }
}  // namespace

void fatalError(const std::string& text, const char* filePath, std::uint64_t line) {
  velmoria::base::fatalError(text, filePath, line);
}

void FatalErrorReporter::reportIssue(const Message& message, IssueSeverity, const SourceLocation& location) const {
  fatalError(orIssueReported(evaluate(message).value_or("")), location.filePath, location.line);
}

void FatalErrorReporter::reportError(const std::exception_ptr& error, const Message& message,
                                     const SourceLocation& location) const {
  fatalError(orIssueReported(caughtErrorText(error, message)), location.filePath, location.line);
}

void FatalErrorReporter::reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const {
  reportIssue(message, IssueSeverity::error, location);
}

}  // namespace zirudeze::issuereporting
