#include "issuereporting/TestFrameworkBridges.hpp"

#include <dlfcn.h>

#include <cstdio>
#include <limits>
#include <string>

#include "base/Check.hpp"

namespace zirudeze::issuereporting {

namespace ts = testsupport;

namespace {

constexpr const char* linkAdvice =
    "\n\nTo fix this, add \"IssueReportingTestSupport\" as a dependency to your test target.";

const ts::Entry* lookUp(const char* symbol) {
  void* self = dlopen(nullptr, RTLD_LAZY);
  if (self == nullptr) return nullptr;
  void* found = dlsym(self, symbol);
  dlclose(self);
  if (found == nullptr) return nullptr;
  return reinterpret_cast<ts::EntryPoint>(found)();
}

// An entry point of the wrong shape is a broken test-support build, not something to recover from.
const ts::Entry& expect(const ts::Entry* entry, ts::EntryKind kind, const char* symbol) {
  VM_CHECK(entry != nullptr && entry->kind == kind && entry->function != nullptr,
           std::string("IssueReportingTestSupport: ") + symbol + " has an unexpected type");
  return *entry;
}

std::int64_t toSigned(std::uint64_t value) {
  VM_CHECK(value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()),
           "Not enough bits to represent the passed value");
  return static_cast<std::int64_t>(value);
}

void writeAdvice(const char* where, std::uint64_t line, const char* what) {
  const std::string text = std::string(where) + ":" + std::to_string(line) + what + linkAdvice + "\n";
  std::fputs(text.c_str(), stderr);
}

constexpr const char* issueWithoutTesting = ": An issue was recorded without linking the Testing framework.";
constexpr const char* knownIssueWithoutTesting = ": A known issue was recorded without linking the Testing framework.";

}  // namespace

void recordIssueBridge(const std::optional<std::string>& message, std::int64_t severity, const char* fileID,
                       const char* filePath, std::uint64_t line, std::uint64_t column) {
  const ts::Entry* entry = lookUp(ts::recordIssueSymbol);
  if (entry == nullptr) {
    writeAdvice(fileID, line, issueWithoutTesting);
    return;
  }
  if (entry->kind == ts::EntryKind::recordIssue && entry->function != nullptr) {
    reinterpret_cast<ts::RecordIssueFunction>(entry->function)(message, severity, fileID, filePath, toSigned(line),
                                                               toSigned(column));
    return;
  }
  const auto& older = expect(entry, ts::EntryKind::recordIssueWithoutSeverity, ts::recordIssueSymbol);
  reinterpret_cast<ts::RecordIssueWithoutSeverityFunction>(older.function)(message, fileID, filePath, toSigned(line),
                                                                           toSigned(column));
}

void recordErrorBridge(const std::exception_ptr& error, const std::optional<std::string>& message, const char* fileID,
                       const char* filePath, std::uint64_t line, std::uint64_t column) {
  const ts::Entry* entry = lookUp(ts::recordErrorSymbol);
  if (entry == nullptr) {
    writeAdvice(fileID, line, issueWithoutTesting);
    return;
  }
  const auto& found = expect(entry, ts::EntryKind::recordError, ts::recordErrorSymbol);
  reinterpret_cast<ts::RecordErrorFunction>(found.function)(error, message, fileID, filePath, toSigned(line),
                                                            toSigned(column));
}

void withKnownIssueBridge(const std::optional<std::string>& message, bool isIntermittent, const char* fileID,
                          const char* filePath, std::uint64_t line, std::uint64_t column,
                          const std::function<void()>& body) {
  const ts::Entry* entry = lookUp(ts::withKnownIssueSymbol);
  if (entry == nullptr) {
    writeAdvice(fileID, line, knownIssueWithoutTesting);
    try {
      body();
    } catch (...) {
    }
    return;
  }
  const auto& found = expect(entry, ts::EntryKind::withKnownIssue, ts::withKnownIssueSymbol);
  reinterpret_cast<ts::WithKnownIssueFunction>(found.function)(message, isIntermittent, fileID, filePath,
                                                               toSigned(line), toSigned(column), body);
}

std::optional<ts::SupportTest> currentTestBridge() {
  const ts::Entry* entry = lookUp(ts::currentTestSymbol);
  if (entry == nullptr) return std::nullopt;
  const auto& found = expect(entry, ts::EntryKind::currentTest, ts::currentTestSymbol);
  return reinterpret_cast<ts::CurrentTestFunction>(found.function)();
}

void xctFailBridge(const std::string& message, const char* filePath, std::uint64_t line) {
  const ts::Entry* entry = lookUp(ts::xctFailSymbol);
  if (entry == nullptr) {
    std::string text = std::string(filePath) + ":" + std::to_string(line) +
                       ": A failure was recorded without linking the XCTest framework";
    if (!message.empty()) text += ": " + message;
    text += linkAdvice;
    text += "\n";
    std::fputs(text.c_str(), stderr);
    return;
  }
  const auto& found = expect(entry, ts::EntryKind::xctFail, ts::xctFailSymbol);
  reinterpret_cast<ts::XCTFailFunction>(found.function)(message, filePath, line);
}

void xctExpectFailureBridge(const std::optional<std::string>& message, std::optional<bool> enabled,
                            std::optional<bool> strict, const char* filePath, std::uint64_t line,
                            const std::function<void()>& body) {
  const ts::Entry* entry = lookUp(ts::xctExpectFailureSymbol);
  if (entry == nullptr) {
    writeAdvice(filePath, line, ": An expected failure was recorded without linking the XCTest framework.");
    body();
    return;
  }
  const auto& found = expect(entry, ts::EntryKind::xctExpectFailure, ts::xctExpectFailureSymbol);
  std::exception_ptr kept;
  const std::function<void()> wrapped = [&body, &kept] {
    try {
      body();
    } catch (...) {
      kept = std::current_exception();
    }
  };
  try {
    reinterpret_cast<ts::XCTExpectFailureFunction>(found.function)(message, enabled, strict, wrapped);
  } catch (...) {
    velmoria::base::fatalError("the expected-failure entry point threw");
  }
  if (kept) std::rethrow_exception(kept);
}

}  // namespace zirudeze::issuereporting
