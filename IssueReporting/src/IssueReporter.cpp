#include "issuereporting/IssueReporter.hpp"

#include "base/Check.hpp"

namespace zirudeze::issuereporting {

namespace {

// Each of the two report requirements defaults to the other; a reporter that overrides neither
// would bounce between them until the stack runs out. Stop at the second hop instead.
thread_local const IssueReporter* inDefaultOf = nullptr;

class BounceGuard {
 public:
  explicit BounceGuard(const IssueReporter* reporter) : saved_(inDefaultOf) {
    VM_CHECK(inDefaultOf != reporter, "IssueReporter must implement reportIssue or reportIssueWithoutSeverity");
    inDefaultOf = reporter;
  }
  ~BounceGuard() { inDefaultOf = saved_; }
  BounceGuard(const BounceGuard&) = delete;
  BounceGuard& operator=(const BounceGuard&) = delete;

 private:
  const IssueReporter* saved_;
};

}  // namespace

std::string errorDescription(const std::exception_ptr& error) {
  if (!error) return "unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

std::string caughtErrorText(const std::exception_ptr& error, const Message& message) {
  std::string text = "Caught error: " + errorDescription(error);
  if (auto extra = evaluate(message)) {
    text += ": ";
    text += *extra;
  }
  return text;
}

std::optional<std::string> evaluate(const Message& message) {
  if (!message) return std::nullopt;
  return message();
}

void IssueReporter::reportIssue(const Message& message, IssueSeverity, const SourceLocation& location) const {
  BounceGuard guard(this);
  reportIssueWithoutSeverity(message, location);
}

void IssueReporter::expectIssue(const Message&, const SourceLocation&) const {}

void IssueReporter::expectError(const std::exception_ptr&, const Message&, const SourceLocation&) const {}

void IssueReporter::reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const {
  BounceGuard guard(this);
  reportIssue(message, IssueSeverity::error, location);
}

}  // namespace zirudeze::issuereporting
