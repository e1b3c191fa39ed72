#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

#include "concurrency/CancellationError.hpp"
#include "concurrency/Task.hpp"
#include "issuereporting/FailureObserver.hpp"
#include "issuereporting/IssueContext.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "issuereporting/WithErrorReporting.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace ir = zirudeze::issuereporting;
using ir::testing::RecordingReporter;

namespace {

const ir::SourceLocation callSite{"Here/Call", "/src/Here/Call.cpp", 10, 2};

ir::Message counted(std::atomic<int>& evaluations, std::string text) {
  return [&evaluations, text]() -> std::optional<std::string> {
    ++evaluations;
    return text;
  };
}

}  // namespace

TEST(ReportIssue, EmptyReporterListNeverEvaluatesTheMessageNorCounts) {
  std::atomic<int> evaluations = 0;
  const auto observer = std::make_shared<ir::FailureObserver>(0);
  ir::withIssueReporters({}, [&] {
    ir::FailureObserver::withCurrent(observer, [&] {
      ir::reportIssue(counted(evaluations, "x"), ir::IssueSeverity::error, callSite);
      ir::reportIssue(std::make_exception_ptr(std::runtime_error("e")), counted(evaluations, "y"), callSite);
    });
  });
  EXPECT_EQ(evaluations.load(), 0);
  EXPECT_EQ(observer->withLock([](std::int64_t& n) { return n; }), 0);
}

TEST(ReportIssue, ReportersAreCalledInOrderWithTheSameMessage) {
  const auto first = std::make_shared<RecordingReporter>("first");
  const auto second = std::make_shared<RecordingReporter>("second");
  std::atomic<int> evaluations = 0;
  ir::withIssueReporters({first, second},
                         [&] { ir::reportIssue(counted(evaluations, "broken"), ir::IssueSeverity::error, callSite); });
  ASSERT_EQ(first->calls().size(), 1u);
  ASSERT_EQ(second->calls().size(), 1u);
  EXPECT_EQ(first->calls()[0].requirement, "reportIssue(error)");
  EXPECT_EQ(second->calls()[0].text, "broken");
  EXPECT_STREQ(second->calls()[0].location.fileID, "Here/Call");
  EXPECT_EQ(evaluations.load(), 2) << "each reporter evaluates the message itself";
}

TEST(ReportIssue, ABoundObserverTurnsReportsIntoExpectationsAndCountsOncePerReport) {
  const auto a = std::make_shared<RecordingReporter>();
  const auto b = std::make_shared<RecordingReporter>();
  const auto observer = std::make_shared<ir::FailureObserver>(0);
  ir::withIssueReporters({a, b}, [&] {
    ir::FailureObserver::withCurrent(observer, [&] {
      ir::reportIssue([] { return std::optional<std::string>("m"); }, ir::IssueSeverity::error, callSite);
      ir::reportIssue(std::make_exception_ptr(std::runtime_error("bad")), ir::Message{}, callSite);
    });
  });
  EXPECT_EQ(observer->withLock([](std::int64_t& n) { return n; }), 2);
  ASSERT_EQ(a->calls().size(), 2u);
  EXPECT_EQ(a->calls()[0].requirement, "expectIssue");
  EXPECT_EQ(a->calls()[1].requirement, "expectError");
  EXPECT_EQ(a->calls()[1].text, "Caught error: bad");
  EXPECT_EQ(b->calls().size(), 2u);
}

TEST(ReportIssue, AnIssueContextReplacesTheWholeLocationAndNests) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const ir::SourceLocation outer{"A/Outer", "/p/Outer.cpp", 7, 3};
  const ir::SourceLocation inner{"B/Inner", "/p/Inner.cpp", 99, 1};
  ir::withIssueReporters({reporter}, [&] {
    ir::withIssueContext(outer, [&] {
      ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite);
      ir::withIssueContext(inner, [&] { ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite); });
      ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite);
    });
    ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite);
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_STREQ(calls[0].location.fileID, "A/Outer");
  EXPECT_STREQ(calls[0].location.filePath, "/p/Outer.cpp");
  EXPECT_EQ(calls[0].location.line, 7u);
  EXPECT_EQ(calls[0].location.column, 3u);
  EXPECT_STREQ(calls[1].location.fileID, "B/Inner");
  EXPECT_EQ(calls[1].location.line, 99u);
  EXPECT_STREQ(calls[2].location.fileID, "A/Outer");
  EXPECT_STREQ(calls[3].location.fileID, "Here/Call");
  EXPECT_EQ(calls[3].location.line, 10u);
}

TEST(ReportIssue, SettingTheListInsideAScopeStaysInThatScope) {
  const auto outer = std::make_shared<RecordingReporter>("outer");
  const auto replaced = std::make_shared<RecordingReporter>("replaced");
  ir::withIssueReporters({outer}, [&] {
    ir::withIssueReporters({}, [&] {
      ir::IssueReporters::setCurrent({replaced});
      ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite);
    });
    ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite);
  });
  EXPECT_EQ(replaced->calls().size(), 1u);
  EXPECT_EQ(outer->calls().size(), 1u);
}

TEST(ReportIssue, TasksStartedInsideAScopeReportToItsReporters) {
  const auto reporter = std::make_shared<RecordingReporter>();
  ir::withIssueReporters({reporter}, [&] {
    zirudeze::concurrency::Task<void> task([] {
      ir::reportIssue([] { return std::optional<std::string>("from a task"); }, ir::IssueSeverity::error, callSite);
    });
    task.value();
  });
  ASSERT_EQ(reporter->calls().size(), 1u);
  EXPECT_EQ(reporter->calls()[0].text, "from a task");
}

TEST(ReportIssue, MacroLocationNamesModuleAndFileStem) {
  const auto reporter = std::make_shared<RecordingReporter>();
  ir::withIssueReporters({reporter}, [&] { VM_REPORT_ISSUE(std::string("via macro")); });
  ASSERT_EQ(reporter->calls().size(), 1u);
  EXPECT_STREQ(reporter->calls()[0].location.fileID, "main/ReportIssueTests");
  EXPECT_EQ(reporter->calls()[0].text, "via macro");
  EXPECT_GT(reporter->calls()[0].location.column, 0u);
}

namespace {
// Overrides neither report requirement, so its defaults would call each other for ever.
class CarelessReporter final : public ir::IssueReporter {
 public:
  void reportError(const std::exception_ptr&, const ir::Message&, const ir::SourceLocation&) const override {}
};
}  // namespace

TEST(ReportIssueDeathTest, AReporterWithoutEitherReportRequirementStopsClearly) {
  EXPECT_DEATH(ir::withIssueReporters({std::make_shared<CarelessReporter>()},
                                      [] { ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite); }),
               "IssueReporter must implement reportIssue or reportIssueWithoutSeverity");
}

TEST(WithErrorReporting, ValuesPassAndErrorsBecomeReportsExceptCancellation) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const auto value = ir::withErrorReporting(ir::Message{}, ir::ReporterList{reporter}, callSite, [] { return 5; });
  EXPECT_EQ(value, std::optional<int>(5));

  const auto cancelled = ir::withErrorReporting(ir::Message{}, ir::ReporterList{reporter}, callSite,
                                                []() -> int { throw zirudeze::concurrency::CancellationError(); });
  EXPECT_FALSE(cancelled.has_value());
  EXPECT_TRUE(reporter->calls().empty());

  const auto failed = ir::withErrorReporting([] { return std::optional<std::string>(""); }, ir::ReporterList{reporter},
                                             callSite, []() -> int { throw std::runtime_error("disk full"); });
  EXPECT_FALSE(failed.has_value());
  ASSERT_EQ(reporter->calls().size(), 1u);
  EXPECT_EQ(reporter->calls()[0].requirement, "reportError");
  EXPECT_EQ(reporter->calls()[0].text, "Caught error: disk full: ");
}

TEST(WithErrorReporting, OptionalResultKeepsOneLevelAndObserverSeesExpectation) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const std::optional<int> none = ir::withErrorReporting(ir::Message{}, ir::ReporterList{reporter}, callSite,
                                                         []() -> std::optional<int> { return std::nullopt; });
  EXPECT_FALSE(none.has_value());
  EXPECT_TRUE(reporter->calls().empty());

  const auto observer = std::make_shared<ir::FailureObserver>(0);
  ir::withIssueReporters({reporter}, [&] {
    ir::FailureObserver::withCurrent(observer, [&] {
      ir::withErrorReporting(ir::Message{}, std::nullopt, callSite, [] { throw std::logic_error("oops"); });
    });
  });
  EXPECT_EQ(observer->withLock([](std::int64_t& n) { return n; }), 1);
  ASSERT_EQ(reporter->calls().size(), 1u);
  EXPECT_EQ(reporter->calls()[0].requirement, "expectError");
}

TEST(WithErrorReporting, AGivenListIsScopedToTheCall) {
  const auto outer = std::make_shared<RecordingReporter>("outer");
  const auto given = std::make_shared<RecordingReporter>("given");
  ir::withIssueReporters({outer}, [&] {
    ir::withErrorReporting(ir::Message{}, ir::ReporterList{given}, callSite, [] { throw std::runtime_error("x"); });
    ir::reportIssue(ir::Message{}, ir::IssueSeverity::error, callSite);
  });
  EXPECT_EQ(given->calls().size(), 1u);
  EXPECT_EQ(outer->calls().size(), 1u);
}
