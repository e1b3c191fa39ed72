#pragma once

// The contract between the issue reporter and the optional test-support library: entry-point names
// and the shapes of the operations they hand out. Both sides are built by the same compiler, so the
// operations use C++ types; the names are looked up with dlsym and must not change.

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zirudeze::issuereporting::testsupport {

inline constexpr const char* recordIssueSymbol = "$s25IssueReportingTestSupport07_recordA0ypyF";
inline constexpr const char* recordErrorSymbol = "$s25IssueReportingTestSupport12_recordErrorypyF";
inline constexpr const char* withKnownIssueSymbol = "$s25IssueReportingTestSupport010_withKnownA0ypyF";
inline constexpr const char* withKnownIssueAsyncSymbol =
    "$s25IssueReportingTestSupport010_withKnownA13AsyncIsolatedypyF";
inline constexpr const char* currentTestSymbol = "$s25IssueReportingTestSupport08_currentC0ypyF";
inline constexpr const char* xctFailSymbol = "$s25IssueReportingTestSupport8_XCTFailypyF";
inline constexpr const char* xctExpectFailureSymbol = "$s25IssueReportingTestSupport17_XCTExpectFailureypyF";

// The running test as the test framework names it.
struct SupportTest {
  std::string id;
  std::vector<std::string> traits;
};

// What an entry point returns: a tag saying which operation shape it holds, and the operation.
enum class EntryKind : std::uint32_t {
  recordIssue = 1,
  recordIssueWithoutSeverity = 2,
  recordError = 3,
  withKnownIssue = 4,
  currentTest = 5,
  xctFail = 6,
  xctExpectFailure = 7,
};

using AnyFunction = void (*)();

struct Entry {
  EntryKind kind;
  AnyFunction function;
};

using EntryPoint = const Entry* (*)();

using RecordIssueFunction = void (*)(const std::optional<std::string>& message, std::int64_t severity,
                                     const std::string& fileID, const std::string& filePath, std::int64_t line,
                                     std::int64_t column);
using RecordIssueWithoutSeverityFunction = void (*)(const std::optional<std::string>& message,
                                                    const std::string& fileID, const std::string& filePath,
                                                    std::int64_t line, std::int64_t column);
using RecordErrorFunction = void (*)(const std::exception_ptr& error, const std::optional<std::string>& message,
                                     const std::string& fileID, const std::string& filePath, std::int64_t line,
                                     std::int64_t column);
using WithKnownIssueFunction = void (*)(const std::optional<std::string>& message, bool isIntermittent,
                                        const std::string& fileID, const std::string& filePath, std::int64_t line,
                                        std::int64_t column, const std::function<void()>& body);
using CurrentTestFunction = std::optional<SupportTest> (*)();
using XCTFailFunction = void (*)(const std::string& message, const char* filePath, std::uint64_t line);
// May throw; the body it is given never does.
using XCTExpectFailureFunction = void (*)(const std::optional<std::string>& message, std::optional<bool> enabled,
                                          std::optional<bool> strict, const std::function<void()>& body);

}  // namespace zirudeze::issuereporting::testsupport
