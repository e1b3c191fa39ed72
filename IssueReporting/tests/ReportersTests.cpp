#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "issuereporting/BreakpointReporter.hpp"
#include "issuereporting/DefaultReporter.hpp"
#include "issuereporting/FatalErrorReporter.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "issuereporting/WithExpectedIssue.hpp"

namespace ir = zirudeze::issuereporting;

namespace {

class CapturedLog final : public ir::RuntimeLog {
 public:
  void write(const ir::LogRecord& record) const override {
    std::lock_guard lock(mutex_);
    records_.push_back(record);
  }
  std::vector<ir::LogRecord> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::vector<ir::LogRecord> records_;
};

bool never() { return false; }
bool always() { return true; }

const ir::SourceLocation site{"Auth/AuthClient", "/src/Auth/AuthClient.cpp", 12, 5};

ir::Message text(std::optional<std::string> value) {
  return [value] { return value; };
}

class PreviewVariable {
 public:
  explicit PreviewVariable(const char* value) { setenv("XCODE_RUNNING_FOR_PREVIEWS", value, 1); }
  ~PreviewVariable() { unsetenv("XCODE_RUNNING_FOR_PREVIEWS"); }
};

}  // namespace

TEST(DefaultReporter, OutsideTestsAnIssueIsOneFaultRecordInTheModulesCategory) {
  const auto log = std::make_shared<CapturedLog>();
  const ir::DefaultReporter reporter(nullptr, log, &never);
  reporter.reportIssue(text(std::nullopt), ir::IssueSeverity::error, site);
  reporter.reportIssue(text("misused option"), ir::IssueSeverity::warning, ir::SourceLocation{"NoSlash", "", 1, 1});
  const auto records = log->records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].type, ir::LogType::fault);
  EXPECT_EQ(records[0].subsystem, "com.apple.runtime-issues");
  EXPECT_EQ(records[0].category, "Auth");
  EXPECT_EQ(records[0].text, "Issue reported");
  EXPECT_EQ(records[1].category, "NoSlash");
  EXPECT_EQ(records[1].text, "misused option");
}

TEST(DefaultReporter, ErrorTextsKeepAnEmptyMessageSeparator) {
  const auto log = std::make_shared<CapturedLog>();
  const ir::DefaultReporter reporter(nullptr, log, &never);
  const auto error = std::make_exception_ptr(std::runtime_error("offline"));
  reporter.reportError(error, text(""), site);
  reporter.reportError(error, text(std::nullopt), site);
  const auto records = log->records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, "Caught error: offline: ");
  EXPECT_EQ(records[1].text, "Caught error: offline");
}

TEST(DefaultReporter, APreviewProcessPrintsAMarkedLineInsteadOfLogging) {
  const auto log = std::make_shared<CapturedLog>();
  const ir::DefaultReporter reporter(nullptr, log, &never);
  {
    const PreviewVariable preview("1");
    ::testing::internal::CaptureStdout();
    reporter.reportIssue(text(std::nullopt), ir::IssueSeverity::error, site);
    reporter.reportIssue(text("shown"), ir::IssueSeverity::error, site);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "\U0001F7E3 Auth/AuthClient:12: \n\U0001F7E3 Auth/AuthClient:12: shown\n");
  }
  EXPECT_TRUE(log->records().empty());
  {
    const PreviewVariable preview("true");
    reporter.reportIssue(text("logged"), ir::IssueSeverity::error, site);
  }
  ASSERT_EQ(log->records().size(), 1u);
  EXPECT_EQ(log->records()[0].text, "logged");
}

TEST(DefaultReporter, ExpectedIssuesAreInfoRecordsPrefixedUnderTests) {
  const auto log = std::make_shared<CapturedLog>();
  ir::DefaultReporter(nullptr, log, &always).expectIssue(text(""), site);
  ir::DefaultReporter(nullptr, log, &never).expectIssue(text("known"), site);
  ir::DefaultReporter(nullptr, log, &never)
      .expectError(std::make_exception_ptr(std::runtime_error("e")), text(std::nullopt), site);
  const auto records = log->records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].type, ir::LogType::info);
  EXPECT_EQ(records[0].subsystem, ir::expectedIssuesSubsystem);
  EXPECT_EQ(records[0].text, "Auth/AuthClient:12: Issue expected");
  EXPECT_EQ(records[1].text, "known");
  EXPECT_EQ(records[2].text, "Caught error: e");
}

TEST(DefaultReporter, UnderTestsAnIssueFailsTheCurrentTestExactlyOnce) {
  const auto log = std::make_shared<CapturedLog>();
  const ir::DefaultReporter reporter(nullptr, log, &always);
  EXPECT_NONFATAL_FAILURE(reporter.reportIssue(text("under test"), ir::IssueSeverity::error, site), "under test");
  EXPECT_NONFATAL_FAILURE(
      reporter.reportError(std::make_exception_ptr(std::runtime_error("thrown")), text("ctx"), site),
      "Caught error: thrown: ctx");
  EXPECT_TRUE(log->records().empty());
}

TEST(DefaultReporter, DecorationOnlyWhenNoTestIsRunning) {
  EXPECT_EQ(ir::decorateForHostApplication(std::string("plain"), false), "plain");
  EXPECT_EQ(ir::decorateForHostApplication(std::nullopt, false), std::nullopt);
  // A test is current here, so the issue plainly comes from it.
  EXPECT_EQ(ir::decorateForHostApplication(std::string("plain"), true), "plain");
}

TEST(DefaultReporter, TheProcessDefaultIsOneDefaultReporter) {
  const auto reporters = ir::IssueReporters::current();
  ASSERT_EQ(reporters.size(), 1u);
  EXPECT_NE(dynamic_cast<const ir::DefaultReporter*>(reporters[0].get()), nullptr);
}

TEST(BreakpointReporter, WritesOneLineWhenNoDebuggerIsAttached) {
  ASSERT_FALSE(ir::isDebuggerAttached());
  const ir::BreakpointReporter reporter;
  ::testing::internal::CaptureStderr();
  reporter.reportIssue(text(""), ir::IssueSeverity::warning, site);
  reporter.reportError(std::make_exception_ptr(std::runtime_error("e")), text("m"), site);
  reporter.expectIssue(text("quiet"), site);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Auth/AuthClient:12: Issue reported\nAuth/AuthClient:12: Caught error: e: m\n");
}

TEST(FatalErrorReporterDeathTest, StopsWithTheReportText) {
  const ir::FatalErrorReporter reporter;
  EXPECT_DEATH(reporter.reportIssue(text(""), ir::IssueSeverity::error, site),
               "/src/Auth/AuthClient.cpp:12: Fatal error: Issue reported");
  EXPECT_DEATH(reporter.reportError(std::make_exception_ptr(std::runtime_error("bad")), text(std::nullopt), site),
               "Fatal error: Caught error: bad\n");
  EXPECT_DEATH(reporter.reportError(std::make_exception_ptr(std::runtime_error("bad")), text("why"), site),
               "Fatal error: Caught error: bad: why");
  EXPECT_DEATH(
      ir::withIssueReporters({std::make_shared<ir::FatalErrorReporter>()},
                             [] { ir::reportIssue(text("through the list"), ir::IssueSeverity::error, site); }),
      "Fatal error: through the list");
}

TEST(FatalErrorReporter, ExpectedIssuesDoNotStopTheProcess) {
  ir::withIssueReporters({std::make_shared<ir::FatalErrorReporter>()}, [] {
    ir::withExpectedIssueOutsideTests(std::nullopt, false, site,
                                      [] { ir::reportIssue(text("expected"), ir::IssueSeverity::error, site); });
  });
  SUCCEED();
}
