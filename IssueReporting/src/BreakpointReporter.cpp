#include "issuereporting/BreakpointReporter.hpp"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>

namespace zirudeze::issuereporting {

namespace {

void breakOn(const std::optional<std::string>& text, const SourceLocation& location) {
  const std::string shown = text && !text->empty() ? *text : std::string("Issue reported");
  const std::string line = std::string(location.fileID) + ":" + std::to_string(location.line) + ": " + shown + "\n";
  std::fputs(line.c_str(), stderr);
  if (!isDebuggerAttached()) return;
  std::fputs("\nCaught debug breakpoint. Type \"continue\" (\"c\") to resume execution.\n", stderr);
  std::raise(SIGTRAP);
}

}  // namespace

bool isDebuggerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) {
      try {
        return std::stol(line.substr(10)) != 0;
      } catch (...) {
        return false;
      }
    }
  }
  return false;
}

void BreakpointReporter::reportIssue(const Message& message, IssueSeverity, const SourceLocation& location) const {
  breakOn(evaluate(message), location);
}

void BreakpointReporter::reportError(const std::exception_ptr& error, const Message& message,
                                     const SourceLocation& location) const {
  breakOn(caughtErrorText(error, message), location);
}

void BreakpointReporter::reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const {
  breakOn(evaluate(message), location);
}

}  // namespace zirudeze::issuereporting
