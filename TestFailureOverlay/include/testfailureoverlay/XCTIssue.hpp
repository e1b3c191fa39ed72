#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "testfailureoverlay/RuntimeLookup.hpp"

namespace zirudeze::testfailureoverlay {

// A test framework's issue as a plain value, so matchers can be written without the framework.
struct XCTIssue {
  enum class IssueType : std::int64_t {
    assertionFailure = 0,
    performanceRegression = 3,
    system = 4,
    thrownError = 1,
    uncaughtException = 2,
    unmatchedExpectedFailure = 5,
  };

  IssueType type;
  std::string compactDescription;
  std::optional<std::string> detailedDescription;

  bool operator==(const XCTIssue&) const = default;

  // Accepts 0 to 5.
  static std::optional<IssueType> issueType(std::int64_t rawValue);

  // Reads "type", "compactDescription" and "detailedDescription" of a framework issue object.
  static std::optional<XCTIssue> from(const RuntimeLookup::Object& issue, const RuntimeLookup& runtime);
};

}  // namespace zirudeze::testfailureoverlay
