#include "issuereporting/FatalErrorReporter.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zirudeze::issuereporting {

namespace {
std::string orIssueReported(std::string text) { return text.empty() ? std::string("Issue reported") : text; }
}  // namespace

void fatalError(const std::string& text, const char* filePath, std::uint64_t line) {
  const std::string out = std::string(filePath) + ":" + std::to_string(line) + ": Fatal error: " + text + "\n";
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
  std::abort();
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
