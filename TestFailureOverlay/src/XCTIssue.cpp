#include "testfailureoverlay/XCTIssue.hpp"

namespace zirudeze::testfailureoverlay {

std::optional<XCTIssue::IssueType> XCTIssue::issueType(std::int64_t rawValue) {
  if (rawValue < 0 || rawValue > 5) return std::nullopt;
  return static_cast<IssueType>(rawValue);
}

std::optional<XCTIssue> XCTIssue::from(const RuntimeLookup::Object& issue, const RuntimeLookup& runtime) {
  const auto raw = runtime.integerForKey(issue, "type");
  if (!raw) return std::nullopt;
  const auto type = issueType(*raw);
  if (!type) return std::nullopt;
  return XCTIssue{*type, runtime.textForKey(issue, "compactDescription").value_or(""),
                  runtime.textForKey(issue, "detailedDescription")};
}

}  // namespace zirudeze::testfailureoverlay
