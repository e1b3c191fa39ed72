#include "issuereporting/WithExpectedIssue.hpp"

#include <exception>
#include <memory>

#include "issuereporting/FailureObserver.hpp"
#include "issuereporting/IsTesting.hpp"
#include "issuereporting/IssueContext.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "issuereporting/TestFrameworkBridges.hpp"

namespace zirudeze::issuereporting {

namespace {

Message notRecordedMessage(const std::optional<std::string>& message) {
  return [message]() -> std::optional<std::string> {
    std::string text = "Known issue was not recorded";
    if (message) text += ": " + *message;
    return text;
  };
}

}  // namespace

void withExpectedIssue(const std::optional<std::string>& message, bool isIntermittent, const SourceLocation& location,
                       const std::function<void()>& body) {
  if (!isTesting()) {
    withExpectedIssueOutsideTests(message, isIntermittent, location, body);
    return;
  }
  if (currentTestBridge()) {
    withKnownIssueBridge(message, isIntermittent, location.fileID, location.filePath, location.line, location.column,
                         body);
    return;
  }
  withExpectedIssueUnderXCTest(message, isIntermittent, location, body);
}

void withExpectedIssueUnderXCTest(const std::optional<std::string>& message, bool isIntermittent,
                                  const SourceLocation& location, const std::function<void()>& body) {
  // A body error becomes an issue inside the expected-failure scope, so the framework sees the
  // failure it was told to expect and the error goes no further.
  const std::function<void()> wrapped = [&body, &location] {
    try {
      body();
    } catch (...) {
      reportIssue(std::current_exception(), Message{}, location);
    }
  };
  xctExpectFailureBridge(message, std::nullopt, !isIntermittent, location.filePath, location.line, wrapped);
}

void withExpectedIssueOutsideTests(const std::optional<std::string>& message, bool isIntermittent,
                                   const SourceLocation& location, const std::function<void()>& body) {
  const auto observer = std::make_shared<FailureObserver>(0);
  std::exception_ptr error;
  FailureObserver::withCurrent(observer, [&] {
    try {
      body();
    } catch (...) {
      error = std::current_exception();
    }
  });
  const SourceLocation resolved = resolveLocation(location);
  if (error) {
    for (const auto& reporter : IssueReporters::current()) reporter->expectError(error, Message{}, resolved);
    return;
  }
  const auto count = observer->withLock([](std::int64_t& value) { return value; });
  if (count == 0 && !isIntermittent) {
    const Message text = notRecordedMessage(message);
    for (const auto& reporter : IssueReporters::current()) reporter->reportIssueWithoutSeverity(text, resolved);
  }
}

}  // namespace zirudeze::issuereporting
