#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "issuereporting/IssueContext.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/WithExpectedIssue.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"
#include "testfailureoverlay/XCTExpectFailure.hpp"
#include "testfailureoverlay/XCTFail.hpp"
#include "testfailureoverlay/XCTIssue.hpp"

namespace ir = zirudeze::issuereporting;
using ir::testing::RecordingReporter;

namespace {

// A run time that has the expected-failure classes and functions, and records what it is asked.
class FakeRuntime final : public zirudeze::testfailureoverlay::RuntimeLookup {
 public:
  mutable std::vector<std::string> log;
  mutable IssueMatcherBlock matcher;
  mutable std::map<std::string, std::int64_t> integers;
  bool hasFunction = true;

  Object classNamed(const char* name) const override {
    log.push_back(std::string("class ") + name);
    return std::make_shared<std::string>(name);
  }
  Object send(const Object&, const char* selector) const override {
    log.push_back(std::string("send ") + selector);
    return std::make_shared<std::string>(selector);
  }
  void setBlock(const Object&, IssueMatcherBlock block, const char* key) const override {
    log.push_back(std::string("set ") + key);
    matcher = std::move(block);
  }
  std::optional<std::int64_t> integerForKey(const Object&, const char* key) const override {
    const auto found = integers.find(key);
    return found == integers.end() ? std::nullopt : std::optional<std::int64_t>(found->second);
  }
  std::optional<std::string> textForKey(const Object&, const char* key) const override {
    if (std::string(key) == "compactDescription") return "compact";
    return std::nullopt;
  }
  std::vector<Object> elements(const Object&) const override { return {}; }
  std::string classNameOf(const Object&) const override { return {}; }
  ExpectFailureInBlock expectFailureInBlock(const char* symbol) const override {
    if (!hasFunction) return {};
    log.push_back(symbol);
    return [this](const std::optional<std::string>& reason, const Object&, const std::function<void()>& block) {
      log.push_back("reason " + reason.value_or("<nil>"));
      block();
    };
  }
  ExpectFailure expectFailure(const char* symbol) const override {
    log.push_back(symbol);
    return [this](const std::optional<std::string>&, const Object&) { log.push_back("expecting"); };
  }
};

}  // namespace

TEST(XCTFail, ReportsAtTheOverlaysFileIdentifierAndTheCallersLine) {
  const auto reporter = std::make_shared<RecordingReporter>();
  int line = 0;
  ir::withIssueReporters({reporter}, [&] {
    line = __LINE__ + 1;
    zirudeze::testfailureoverlay::XCTFail("x");
    zirudeze::testfailureoverlay::XCTFailContext::slot().withValue(
        zirudeze::testfailureoverlay::XCTFailContext{"/elsewhere.cpp", 900},
        [] { zirudeze::testfailureoverlay::XCTFail(); });
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].requirement, "reportIssue(error)");
  EXPECT_EQ(calls[0].text, "x");
  EXPECT_STREQ(calls[0].location.fileID, "TestFailureOverlay/Deprecations");
  EXPECT_STREQ(calls[0].location.filePath, __FILE__);
  EXPECT_EQ(calls[0].location.line, static_cast<std::uint64_t>(line));
  EXPECT_EQ(calls[0].location.column, 14u);
  EXPECT_STREQ(calls[1].location.filePath, "/elsewhere.cpp");
  EXPECT_EQ(calls[1].location.line, 900u);
}

TEST(XCTFail, InsideAnExpectedScopeItIsAnExpectation) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const ir::SourceLocation scope{"T/Scope", "/t.cpp", 1, 1};
  ir::withIssueReporters({reporter}, [&] {
    ir::withExpectedIssueOutsideTests(std::nullopt, false, scope, [] { zirudeze::testfailureoverlay::XCTFail("y"); });
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].requirement, "expectIssue");
}

TEST(XCTExpectFailure, WithoutAFrameworkTheBlockJustRuns) {
  int runs = 0;
  EXPECT_EQ(
      zirudeze::testfailureoverlay::XCTExpectFailure(std::nullopt, std::nullopt, std::nullopt, [&] { return ++runs; }),
      1);
  EXPECT_THROW(zirudeze::testfailureoverlay::XCTExpectFailure(std::string("r"), true, false,
                                                              []() -> int { throw std::runtime_error("e"); }),
               std::runtime_error);
  zirudeze::testfailureoverlay::XCTExpectFailure(std::string("rest of test"), std::nullopt, std::nullopt);
  EXPECT_EQ(zirudeze::testfailureoverlay::currentTestCase(), nullptr);
}

TEST(XCTExpectFailure, DisabledRunsTheBlockWithoutAskingTheRuntime) {
  FakeRuntime runtime;
  int runs = 0;
  EXPECT_EQ(zirudeze::testfailureoverlay::XCTExpectFailure(
                std::nullopt, false, std::nullopt, [&] { return ++runs; }, std::nullopt, runtime),
            1);
  EXPECT_TRUE(runtime.log.empty());
}

TEST(XCTExpectFailure, StrictnessPicksTheOptionsAndTheMatcherIsAttached) {
  FakeRuntime runtime;
  const auto value = zirudeze::testfailureoverlay::XCTExpectFailure(
      std::string("known bug"), std::nullopt, std::nullopt, [] { return 9; },
      zirudeze::testfailureoverlay::IssueMatcher([](const zirudeze::testfailureoverlay::XCTIssue& issue) {
        return issue.type == zirudeze::testfailureoverlay::XCTIssue::IssueType::thrownError;
      }),
      runtime);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(runtime.log,
            (std::vector<std::string>{"class XCTExpectedFailureOptions", "send alloc", "send init", "set issueMatcher",
                                      "XCTExpectFailureWithOptionsInBlock", "reason known bug"}));
  ASSERT_TRUE(runtime.matcher);
  runtime.integers["type"] = 1;
  EXPECT_TRUE(runtime.matcher(nullptr));
  runtime.integers["type"] = 6;
  EXPECT_FALSE(runtime.matcher(nullptr)) << "an unknown issue type matches nothing";

  FakeRuntime lenient;
  EXPECT_THROW(
      zirudeze::testfailureoverlay::XCTExpectFailure(
          std::nullopt, std::nullopt, false, []() -> int { throw std::logic_error("kept"); }, std::nullopt, lenient),
      std::logic_error);
  EXPECT_EQ(lenient.log[1], "send nonStrictOptions");

  FakeRuntime noFunction;
  noFunction.hasFunction = false;
  EXPECT_EQ(zirudeze::testfailureoverlay::XCTExpectFailure(
                std::nullopt, std::nullopt, std::nullopt, [] { return 3; }, std::nullopt, noFunction),
            3);

  FakeRuntime whole;
  zirudeze::testfailureoverlay::XCTExpectFailure(std::nullopt, std::nullopt, std::nullopt, std::nullopt, whole);
  EXPECT_EQ(whole.log.back(), "expecting");
}

TEST(XCTIssue, TypesFromRawValues) {
  EXPECT_EQ(zirudeze::testfailureoverlay::XCTIssue::issueType(1),
            zirudeze::testfailureoverlay::XCTIssue::IssueType::thrownError);
  EXPECT_EQ(zirudeze::testfailureoverlay::XCTIssue::issueType(3),
            zirudeze::testfailureoverlay::XCTIssue::IssueType::performanceRegression);
  EXPECT_EQ(zirudeze::testfailureoverlay::XCTIssue::issueType(6), std::nullopt);
  EXPECT_EQ(zirudeze::testfailureoverlay::XCTIssue::issueType(-1), std::nullopt);
  const zirudeze::testfailureoverlay::XCTIssue a{zirudeze::testfailureoverlay::XCTIssue::IssueType::system, "c",
                                                 std::nullopt};
  EXPECT_NE(a, (zirudeze::testfailureoverlay::XCTIssue{zirudeze::testfailureoverlay::XCTIssue::IssueType::system, "c",
                                                       std::string("d")}));
}
