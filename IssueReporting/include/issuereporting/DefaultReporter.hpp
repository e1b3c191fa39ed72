#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "issuereporting/IssueReporter.hpp"
#include "issuereporting/RuntimeLog.hpp"

namespace zirudeze::issuereporting {

inline constexpr const char* runtimeIssuesSubsystem = "com.apple.runtime-issues";
inline constexpr const char* expectedIssuesSubsystem = "zirudeze.issuereporting.expected-issues";

// Outside tests an issue becomes a fault record on the runtime log (or a marked line in a preview
// process); under tests it is recorded through the test-framework bridges. Expected issues become
// info records.
class DefaultReporter final : public IssueReporter {
 public:
  using TestingProbe = bool (*)();

  DefaultReporter();
  DefaultReporter(const void* dso, std::shared_ptr<const RuntimeLog> log, TestingProbe testing);

  void reportIssue(const Message& message, IssueSeverity severity, const SourceLocation& location) const override;
  void reportError(const std::exception_ptr& error, const Message& message,
                   const SourceLocation& location) const override;
  void expectIssue(const Message& message, const SourceLocation& location) const override;
  void expectError(const std::exception_ptr& error, const Message& message,
                   const SourceLocation& location) const override;
  void reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const override;

  // The image the fault records are attributed to.
  const void* _dso;

 private:
  void recordUnderTests(const std::optional<std::string>& failureText, const SourceLocation& location) const;
  void warnOutsideTests(const std::optional<std::string>& text, const SourceLocation& location) const;
  void logExpected(const std::optional<std::string>& text, const SourceLocation& location) const;

  std::shared_ptr<const RuntimeLog> log_;
  TestingProbe testing_;
};

// The loaded UI-framework image if there is one, else this module's own image.
const void* uiFrameworkImageHeader();

// The module name of a file identifier: the text before its first "/", or all of it.
std::string categoryOf(const char* fileID);

// Under tests, adds a warning when the issue does not seem to come from a running test.
std::optional<std::string> decorateForHostApplication(const std::optional<std::string>& text);
std::optional<std::string> decorateForHostApplication(const std::optional<std::string>& text, bool testing);

// The outside-tests path for a given image; under tests the text is prefixed with "fileID:line: ".
void reportRuntimeWarning(const Message& message, const char* fileID, std::uint64_t line, const void* image);

}  // namespace zirudeze::issuereporting
