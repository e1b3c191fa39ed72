// The test-support side of the issue reporter's bridges, over GoogleTest. Linked into test programs
// only (built with exported symbols), where the issue reporter finds these entry points by name.
//
// A "Testing" issue is a failure of the current test; an "XCTest" failure is recorded only when no test
// is current (GoogleTest then fails the whole run), so each issue fails exactly once.

#include <cstdio>
#include <exception>
#include <string>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "issuereporting/IssueReporter.hpp"
#include "issuereporting/TestSupportABI.hpp"

namespace ts = zirudeze::issuereporting::testsupport;

namespace {

bool testIsCurrent() { return ::testing::UnitTest::GetInstance()->current_test_info() != nullptr; }

void fail(const char* filePath, std::int64_t line, const std::string& text) {
  ADD_FAILURE_AT(filePath, static_cast<int>(line)) << text;
}

void recordIssue(const std::optional<std::string>& message, std::int64_t severity, const std::string&,
                 const std::string& filePath, std::int64_t line, std::int64_t) {
  if (!testIsCurrent()) return;
  if (severity == 0) {
    std::fprintf(stderr, "%s:%lld: warning: %s\n", filePath.c_str(), static_cast<long long>(line),
                 message.value_or("").c_str());
    return;
  }
  fail(filePath.c_str(), line, message.value_or(""));
}

void recordError(const std::exception_ptr& error, const std::optional<std::string>& message, const std::string&,
                 const std::string& filePath, std::int64_t line, std::int64_t) {
  if (!testIsCurrent()) return;
  fail(filePath.c_str(), line, zirudeze::issuereporting::caughtErrorText(error, [&] { return message; }));
}

// Runs `body` with every failure (from any thread) captured; returns how many there were.
std::size_t captureFailures(const std::function<void()>& body, bool& threw) {
  ::testing::TestPartResultArray results;
  {
    const ::testing::ScopedFakeTestPartResultReporter capture(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
    try {
      body();
    } catch (...) {
      threw = true;
    }
  }
  std::size_t failures = 0;
  for (int i = 0; i < results.size(); ++i) {
    if (results.GetTestPartResult(i).failed()) ++failures;
  }
  return failures;
}

void withKnownIssue(const std::optional<std::string>& message, bool isIntermittent, const std::string&,
                    const std::string& filePath, std::int64_t line, std::int64_t, const std::function<void()>& body) {
  bool threw = false;
  const std::size_t failures = captureFailures(body, threw);
  if (failures > 0 || threw || isIntermittent) return;
  std::string text = "Known issue was not recorded";
  if (message) text += ": " + *message;
  fail(filePath.c_str(), line, text);
}

std::optional<ts::SupportTest> currentTest() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return std::nullopt;
  ts::SupportTest test{std::string(info->test_suite_name()) + "." + info->name(), {}};
  if (info->type_param() != nullptr) test.traits.emplace_back(std::string("type_param=") + info->type_param());
  if (info->value_param() != nullptr) test.traits.emplace_back(std::string("value_param=") + info->value_param());
  return test;
}

void xctFail(const std::string& message, const char* filePath, std::uint64_t line) {
  if (testIsCurrent()) return;
  fail(filePath, static_cast<std::int64_t>(line), message);
}

void xctExpectFailure(const std::optional<std::string>& message, std::optional<bool> enabled,
                      std::optional<bool> strict, const std::function<void()>& body) {
  if (enabled == false) {
    body();
    return;
  }
  bool threw = false;
  const std::size_t failures = captureFailures(body, threw);
  if (failures > 0 || threw || !strict.value_or(true)) return;
  std::string text = "Expected failure was not recorded";
  if (message) text += ": " + *message;
  ADD_FAILURE() << text;
}

template <class Function>
ts::Entry entry(ts::EntryKind kind, Function function) {
  return ts::Entry{kind, reinterpret_cast<ts::AnyFunction>(function)};
}

}  // namespace

// Looked up by name only; never called directly from C++ (the names are not valid identifiers).
const ts::Entry* recordIssueEntryPoint() __asm__("$s25IssueReportingTestSupport07_recordA0ypyF");
const ts::Entry* recordErrorEntryPoint() __asm__("$s25IssueReportingTestSupport12_recordErrorypyF");
const ts::Entry* withKnownIssueEntryPoint() __asm__("$s25IssueReportingTestSupport010_withKnownA0ypyF");
const ts::Entry* currentTestEntryPoint() __asm__("$s25IssueReportingTestSupport08_currentC0ypyF");
const ts::Entry* xctFailEntryPoint() __asm__("$s25IssueReportingTestSupport8_XCTFailypyF");
const ts::Entry* xctExpectFailureEntryPoint() __asm__("$s25IssueReportingTestSupport17_XCTExpectFailureypyF");

const ts::Entry* recordIssueEntryPoint() {
  static const ts::Entry value = entry(ts::EntryKind::recordIssue, &recordIssue);
  return &value;
}
const ts::Entry* recordErrorEntryPoint() {
  static const ts::Entry value = entry(ts::EntryKind::recordError, &recordError);
  return &value;
}
const ts::Entry* withKnownIssueEntryPoint() {
  static const ts::Entry value = entry(ts::EntryKind::withKnownIssue, &withKnownIssue);
  return &value;
}
const ts::Entry* currentTestEntryPoint() {
  static const ts::Entry value = entry(ts::EntryKind::currentTest, &currentTest);
  return &value;
}
const ts::Entry* xctFailEntryPoint() {
  static const ts::Entry value = entry(ts::EntryKind::xctFail, &xctFail);
  return &value;
}
const ts::Entry* xctExpectFailureEntryPoint() {
  static const ts::Entry value = entry(ts::EntryKind::xctExpectFailure, &xctExpectFailure);
  return &value;
}
