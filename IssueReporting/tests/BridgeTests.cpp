#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "issuereporting/IsTesting.hpp"
#include "issuereporting/TestContext.hpp"
#include "issuereporting/TestFrameworkBridges.hpp"

namespace ir = zirudeze::issuereporting;

namespace {

struct Output {
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::string content;
  if (FILE* file = std::fopen(path.c_str(), "r")) {
    std::array<char, 512> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) content.append(buffer.data(), n);
    std::fclose(file);
  }
  return content;
}

Output runProbe(const char* program, const std::string& arguments) {
  const std::string base = ::testing::TempDir() + "probe-" + std::to_string(::getpid());
  const std::string command = std::string(program) + " " + arguments + " >" + base + ".out 2>" + base + ".err";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  Output output{slurp(base + ".out"), slurp(base + ".err")};
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return output;
}

const std::string advice = "\n\nTo fix this, add \"IssueReportingTestSupport\" as a dependency to your test target.\n";

}  // namespace

TEST(BridgesWithoutTestSupport, RecordingAnIssueOnlyWritesTheAdvice) {
  const auto output = runProbe(VM_BRIDGE_PROBE, "record");
  EXPECT_EQ(output.err, "Probe/Probe:42: An issue was recorded without linking the Testing framework." + advice);
  EXPECT_EQ(output.out, "");
  EXPECT_EQ(runProbe(VM_BRIDGE_PROBE, "error").err,
            "Probe/Probe:43: An issue was recorded without linking the Testing framework." + advice);
}

TEST(BridgesWithoutTestSupport, FailureAdviceNamesTheMessageOnlyWhenThereIsOne) {
  EXPECT_EQ(runProbe(VM_BRIDGE_PROBE, "xctfail").err,
            "/src/Probe.cpp:45: A failure was recorded without linking the XCTest framework" + advice);
  EXPECT_EQ(runProbe(VM_BRIDGE_PROBE, "xctfail went-wrong").err,
            "/src/Probe.cpp:45: A failure was recorded without linking the XCTest framework: went-wrong" + advice);
}

TEST(BridgesWithoutTestSupport, BodiesStillRun) {
  const auto known = runProbe(VM_BRIDGE_PROBE, "known");
  EXPECT_EQ(known.out, "body ran\nafter\n") << "the known issue's error is swallowed";
  EXPECT_EQ(known.err, "Probe/Probe:44: A known issue was recorded without linking the Testing framework." + advice);
  const auto expected = runProbe(VM_BRIDGE_PROBE, "expect");
  EXPECT_EQ(expected.out, "body ran\ncaught passed on\n") << "the expected failure's error reaches the caller";
  EXPECT_EQ(expected.err,
            "/src/Probe.cpp:46: An expected failure was recorded without linking the XCTest framework." + advice);
  const auto current = runProbe(VM_BRIDGE_PROBE, "current");
  EXPECT_EQ(current.out, "none\n");
  EXPECT_EQ(current.err, "");
}

TEST(BridgesWithOlderTestSupport, TheRecordEntryWithoutSeverityStillReceivesTheIssue) {
  const auto output = runProbe(VM_OLDER_SUPPORT_PROBE, "record");
  EXPECT_EQ(output.out, "older: boom Probe/Probe /src/Probe.cpp 42 7\n");
  EXPECT_EQ(output.err, "");
}

TEST(BridgesWithTestSupport, RecordedIssuesFailTheCurrentTest) {
  EXPECT_NONFATAL_FAILURE(ir::recordIssueBridge(std::string("recorded"), 1, "M/F", __FILE__, 3, 1), "recorded");
  EXPECT_NONFATAL_FAILURE(
      ir::recordErrorBridge(std::make_exception_ptr(std::runtime_error("err")), std::nullopt, "M/F", __FILE__, 4, 1),
      "Caught error: err");
}

TEST(BridgesWithTestSupport, WarningsAndProcessLevelFailuresLeaveTheCurrentTestAlone) {
  ::testing::TestPartResultArray results;
  {
    const ::testing::ScopedFakeTestPartResultReporter capture(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
    ::testing::internal::CaptureStderr();
    ir::recordIssueBridge(std::string("just a warning"), 0, "M/F", __FILE__, 3, 1);
    ir::xctFailBridge("not while a test runs", __FILE__, 5);
    ::testing::internal::GetCapturedStderr();
  }
  EXPECT_EQ(results.size(), 0);
}

TEST(BridgesWithTestSupport, KnownIssuesAbsorbFailuresAndComplainWhenThereWereNone) {
  ir::withKnownIssueBridge(std::nullopt, false, "M/F", __FILE__, 6, 1, [] { ADD_FAILURE() << "absorbed"; });
  ir::withKnownIssueBridge(std::nullopt, false, "M/F", __FILE__, 7, 1, [] { throw std::runtime_error("absorbed"); });
  ir::withKnownIssueBridge(std::nullopt, true, "M/F", __FILE__, 8, 1, [] {});
  EXPECT_NONFATAL_FAILURE(ir::withKnownIssueBridge(std::string("flaky"), false, "M/F", __FILE__, 9, 1, [] {}),
                          "Known issue was not recorded: flaky");
}

TEST(BridgesWithTestSupport, ExpectedFailuresPassTheBodysErrorOnAfterwards) {
  bool ran = false;
  // Non-strict: the error is kept aside by the bridge, so the framework itself sees no failure.
  EXPECT_THROW(ir::xctExpectFailureBridge(std::nullopt, std::nullopt, false, __FILE__, 10,
                                          [&] {
                                            ran = true;
                                            throw std::out_of_range("late");
                                          }),
               std::out_of_range);
  EXPECT_TRUE(ran);
  EXPECT_NONFATAL_FAILURE(ir::xctExpectFailureBridge(std::nullopt, std::nullopt, true, __FILE__, 11, [] {}),
                          "Expected failure was not recorded");
}

TEST(TestContext, NamesTheRunningTest) {
  if (!ir::isTesting()) GTEST_SKIP() << "needs a test run (ctest, or any --gtest_ argument)";
  const auto context = ir::TestContext::current();
  ASSERT_TRUE(context.has_value());
  ASSERT_EQ(context->kind(), ir::TestContext::Kind::swiftTesting);
  ASSERT_TRUE(context->testing().has_value());
  EXPECT_EQ(context->testing()->test.id.rawValue, "TestContext.NamesTheRunningTest");
}

TEST(TestContext, TestsCompareByIdentityOnly) {
  using Test = ir::TestContext::Testing::Test;
  const Test a{{"S.a"}, {"one"}};
  const Test b{{"S.a"}, {"two"}};
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<Test>{}(a), std::hash<Test>{}(b));
  EXPECT_EQ(ir::TestContext::swiftTesting(ir::TestContext::Testing{a}),
            ir::TestContext::swiftTesting(ir::TestContext::Testing{b}));
  EXPECT_NE(ir::TestContext::swiftTesting(std::nullopt), ir::TestContext::xcTest());
  EXPECT_EQ(ir::TestContext::xcTest(), ir::TestContext::xcTest());
}
