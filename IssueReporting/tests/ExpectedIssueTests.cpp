#include <stdexcept>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "issuereporting/IsTesting.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "issuereporting/WithExpectedIssue.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace ir = zirudeze::issuereporting;
using ir::testing::RecordingReporter;

namespace {
const ir::SourceLocation scope{"Tests/Scope", "/src/Tests/Scope.cpp", 20, 4};
const ir::SourceLocation inside{"Tests/Inside", "/src/Tests/Inside.cpp", 30, 1};

void report(const char* text) {
  ir::reportIssue([text] { return std::optional<std::string>(text); }, ir::IssueSeverity::error, inside);
}
}  // namespace

TEST(ExpectedIssueOutsideTests, AReportedIssueIsOnlyAnExpectation) {
  const auto reporter = std::make_shared<RecordingReporter>();
  ir::withIssueReporters({reporter},
                         [] { ir::withExpectedIssueOutsideTests(std::nullopt, false, scope, [] { report("seen"); }); });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].requirement, "expectIssue");
  EXPECT_EQ(calls[0].text, "seen");
}

TEST(ExpectedIssueOutsideTests, NothingReportedIsItselfAnIssueUnlessIntermittent) {
  const auto reporter = std::make_shared<RecordingReporter>();
  ir::withIssueReporters({reporter}, [] {
    ir::withExpectedIssueOutsideTests(std::nullopt, false, scope, [] {});
    ir::withExpectedIssueOutsideTests(std::string("cache miss"), false, scope, [] {});
    ir::withExpectedIssueOutsideTests(std::string("flaky"), true, scope, [] {});
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].requirement, "reportIssueWithoutSeverity");
  EXPECT_EQ(calls[0].text, "Known issue was not recorded");
  EXPECT_STREQ(calls[0].location.fileID, "Tests/Scope");
  EXPECT_EQ(calls[1].text, "Known issue was not recorded: cache miss");
}

TEST(ExpectedIssueOutsideTests, AThrowingBodyIsAnExpectedErrorAndNoComplaint) {
  const auto reporter = std::make_shared<RecordingReporter>();
  ir::withIssueReporters({reporter}, [] {
    ir::withExpectedIssueOutsideTests(std::nullopt, false, scope, [] { throw std::runtime_error("thrown"); });
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].requirement, "expectError");
  EXPECT_EQ(calls[0].text, "Caught error: thrown");
}

TEST(ExpectedIssueOutsideTests, NestedScopesCountTowardsTheInnermost) {
  const auto reporter = std::make_shared<RecordingReporter>();
  ir::withIssueReporters({reporter}, [] {
    ir::withExpectedIssueOutsideTests(std::string("outer"), false, scope, [] {
      ir::withExpectedIssueOutsideTests(std::string("inner"), false, scope, [] { report("once"); });
    });
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].requirement, "expectIssue");
  // The outer scope saw nothing of its own; its complaint goes through its own observer-free path.
  EXPECT_EQ(calls[1].text, "Known issue was not recorded: outer");
}

TEST(ExpectedIssueUnderATest, IssuesInsideAreKnownAndAbsenceFailsTheTest) {
  if (!ir::isTesting()) GTEST_SKIP() << "needs a test run (ctest, or any --gtest_ argument)";
  // Reports go through the default reporter, which records them on this test; the scope absorbs them.
  ir::withExpectedIssue(std::nullopt, false, scope, [] { report("absorbed"); });
  EXPECT_NONFATAL_FAILURE(ir::withExpectedIssue(std::string("missing"), false, scope, [] {}),
                          "Known issue was not recorded: missing");
  ir::withExpectedIssue(std::nullopt, true, scope, [] {});
}

TEST(ExpectedIssueUnderXCTest, ABodyErrorBecomesTheExpectedFailure) {
  if (!ir::isTesting()) GTEST_SKIP() << "needs a test run (ctest, or any --gtest_ argument)";
  ir::withExpectedIssueUnderXCTest(std::nullopt, false, scope, [] { throw std::runtime_error("expected"); });
  EXPECT_NONFATAL_FAILURE(ir::withExpectedIssueUnderXCTest(std::nullopt, false, scope, [] {}),
                          "Expected failure was not recorded");
}
