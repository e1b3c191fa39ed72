#pragma once

#include <functional>
#include <optional>
#include <string>

#include "issuereporting/SourceLocation.hpp"

namespace zirudeze::issuereporting {

// Runs `body`, in which at least one issue is expected (unless `isIntermittent`). Under a current test
// the body is a known issue of that test; under tests without one it is an expected failure; outside
// tests a failure observer counts the issues and "Known issue was not recorded" is reported when there
// were none. The body's errors never escape outside tests.
void withExpectedIssue(const std::optional<std::string>& message, bool isIntermittent, const SourceLocation& location,
                       const std::function<void()>& body);

// Forms used by the path choice, exposed so each path can be exercised on its own.
void withExpectedIssueOutsideTests(const std::optional<std::string>& message, bool isIntermittent,
                                   const SourceLocation& location, const std::function<void()>& body);
void withExpectedIssueUnderXCTest(const std::optional<std::string>& message, bool isIntermittent,
                                  const SourceLocation& location, const std::function<void()>& body);

}  // namespace zirudeze::issuereporting
