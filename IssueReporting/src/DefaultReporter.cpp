#include "issuereporting/DefaultReporter.hpp"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "issuereporting/IsTesting.hpp"
#include "issuereporting/TestFrameworkBridges.hpp"

namespace zirudeze::issuereporting {

namespace {

constexpr const char* hostApplicationAdvice =
    ".\n\nThis can lead to false positives, where failures could have emitted from live application code at "
    "launch time, and not from the current test.\n\nFor more information (and workarounds), see \"Testing "
    "gotchas\":\n\n"
    "docs/testing.md#testing-gotchas";

// This module's own image, found through one of its own functions.
const void* ownImage() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ownImage), &info) != 0) return info.dli_fbase;
  return nullptr;
}

// The executable's name stands in for a bundle identifier.
std::optional<std::string> mainBundleIdentifier() {
  std::array<char, 4096> buffer{};
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return std::nullopt;
  const std::string_view path(buffer.data(), static_cast<std::size_t>(length));
  const auto slash = path.rfind('/');
  const auto name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.empty()) return std::nullopt;
  return std::string(name);
}

bool inPreview() {
  const char* value = std::getenv("XCODE_RUNNING_FOR_PREVIEWS");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

std::string orFallback(const std::optional<std::string>& text, const char* fallback) {
  return text && !text->empty() ? *text : std::string(fallback);
}

std::string locationPrefix(const char* fileID, std::uint64_t line) {
  return std::string(fileID) + ":" + std::to_string(line) + ": ";
}

}  // namespace

DefaultReporter::DefaultReporter() : DefaultReporter(uiFrameworkImageHeader(), systemRuntimeLog(), &isTesting) {}

DefaultReporter::DefaultReporter(const void* dso, std::shared_ptr<const RuntimeLog> log, TestingProbe testing)
    : _dso(dso), log_(std::move(log)), testing_(testing) {}

void DefaultReporter::reportIssue(const Message& message, IssueSeverity severity,
                                  const SourceLocation& location) const {
  const auto text = evaluate(message);
  if (testing_()) {
    recordIssueBridge(text, static_cast<std::int64_t>(severity), location.fileID, location.filePath, location.line,
                      location.column);
    recordUnderTests(text, location);
    return;
  }
  warnOutsideTests(text, location);
}

void DefaultReporter::reportError(const std::exception_ptr& error, const Message& message,
                                  const SourceLocation& location) const {
  const auto extra = evaluate(message);
  const auto text = caughtErrorText(error, [&] { return extra; });
  if (testing_()) {
    recordErrorBridge(error, extra, location.fileID, location.filePath, location.line, location.column);
    recordUnderTests(text, location);
    return;
  }
  warnOutsideTests(text, location);
}

void DefaultReporter::expectIssue(const Message& message, const SourceLocation& location) const {
  logExpected(evaluate(message), location);
}

void DefaultReporter::expectError(const std::exception_ptr& error, const Message& message,
                                  const SourceLocation& location) const {
  logExpected(caughtErrorText(error, message), location);
}

void DefaultReporter::reportIssueWithoutSeverity(const Message& message, const SourceLocation& location) const {
  reportIssue(message, IssueSeverity::error, location);
}

void DefaultReporter::recordUnderTests(const std::optional<std::string>& failureText,
                                       const SourceLocation& location) const {
  const auto decorated = decorateForHostApplication(failureText, testing_());
  xctFailBridge(decorated.value_or(""), location.filePath, location.line);
}

void DefaultReporter::warnOutsideTests(const std::optional<std::string>& text, const SourceLocation& location) const {
  if (inPreview()) {
    const std::string line = "\U0001F7E3 " + locationPrefix(location.fileID, location.line) + text.value_or("") + "\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    return;
  }
  log_->write(LogRecord{LogType::fault, runtimeIssuesSubsystem, categoryOf(location.fileID),
                        orFallback(text, "Issue reported")});
}

void DefaultReporter::logExpected(const std::optional<std::string>& text, const SourceLocation& location) const {
  std::string line = orFallback(text, "Issue expected");
  if (testing_()) line = locationPrefix(location.fileID, location.line) + line;
  log_->write(LogRecord{LogType::info, expectedIssuesSubsystem, categoryOf(location.fileID), std::move(line)});
}

const void* uiFrameworkImageHeader() {
  const void* found = nullptr;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* out) -> int {
        if (info->dlpi_name == nullptr) return 0;
        const std::string_view name(info->dlpi_name);
        if (name.ends_with("/SwiftUI") && info->dlpi_phdr != nullptr) {
          *static_cast<const void**>(out) = reinterpret_cast<const void*>(info->dlpi_addr);
          return 1;
        }
        return 0;
      },
      &found);
  return found != nullptr ? found : ownImage();
}

std::string categoryOf(const char* fileID) {
  const std::string_view id(fileID);
  const auto slash = id.find('/');
  return std::string(slash == std::string_view::npos ? id : id.substr(0, slash));
}

std::optional<std::string> decorateForHostApplication(const std::optional<std::string>& text) {
  return decorateForHostApplication(text, isTesting());
}

std::optional<std::string> decorateForHostApplication(const std::optional<std::string>& text, bool testing) {
  if (!text) {
    auto decorated = decorateForHostApplication(std::string(), testing);
    if (decorated && !decorated->empty()) return decorated;
    return std::nullopt;
  }
  if (!testing) return text;
  const auto bundle = mainBundleIdentifier();
  if (bundle && *bundle == "com.apple.dt.xctest.tool") return text;
  // A running test means the issue comes from the test itself.
  if (currentTestBridge()) return text;
  std::string warning = "This issue was emitted from tests running in a host application";
  if (bundle) warning += " (" + *bundle + ")";
  warning += hostApplicationAdvice;
  if (text->empty()) return warning;
  return *text + "\n\n\u2501\u2501\u2509\u2505\n" + warning;
}

void reportRuntimeWarning(const Message& message, const char* fileID, std::uint64_t line, const void* image) {
  auto text = evaluate(message);
  if (isTesting()) text = locationPrefix(fileID, line) + text.value_or("");
  const DefaultReporter reporter(image, systemRuntimeLog(), [] { return false; });
  reporter.reportIssue([&] { return text; }, IssueSeverity::error, SourceLocation{fileID, "", line, 0});
}

}  // namespace zirudeze::issuereporting
