#pragma once

#include <string>
#include <vector>

#include "base/ThreadSafety.hpp"
#include "issuereporting/IssueReporter.hpp"

namespace zirudeze::issuereporting::testing {

// A reporter for tests. Records which requirement each report reached, with the evaluated text and the location.
struct Call {
  std::string requirement;
  std::string text;
  SourceLocation location;
  std::string tag;
};

class RecordingReporter final : public IssueReporter {
 public:
  explicit RecordingReporter(std::string tag = "") : tag_(std::move(tag)) {}

  void reportIssue(const Message& message, IssueSeverity severity, const SourceLocation& location) const override {
    add(severity == IssueSeverity::error ? "reportIssue(error)" : "reportIssue(warning)", evaluate(message), location);
  }
  void reportError(const std::exception_ptr& error, const Message& message,
                   const SourceLocation& location) const override {
    add("reportError", caughtErrorText(error, message), location);
  }
  void expectIssue(const Message& message, const SourceLocation& location) const override {
    add("expectIssue", evaluate(message), location);
  }
  void expectError(const std::exception_ptr& error, const Message& message,
                   const SourceLocation& location) const override {
    add("expectError", caughtErrorText(error, message), location);
  }
  void reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const override {
    add("reportIssueWithoutSeverity", evaluate(message), location);
  }

  std::vector<Call> calls() const {
    const velmoria::base::MutexLock lock(mutex_);
    return calls_;
  }

 private:
  void add(const char* requirement, const std::optional<std::string>& text, const SourceLocation& location) const {
    const velmoria::base::MutexLock lock(mutex_);
    calls_.push_back(Call{requirement, text.value_or("<none>"), location, tag_});
  }

  std::string tag_;
  mutable velmoria::base::Mutex mutex_;
  mutable std::vector<Call> calls_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::issuereporting::testing
