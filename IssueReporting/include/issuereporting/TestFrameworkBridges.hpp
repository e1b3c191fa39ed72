#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "issuereporting/TestSupportABI.hpp"

namespace zirudeze::issuereporting {

// Each bridge looks its entry point up afresh on every call; without the test-support library it
// writes advice to standard error and carries on as described per bridge.

void recordIssueBridge(const std::optional<std::string>& message, std::int64_t severity, const char* fileID,
                       const char* filePath, std::uint64_t line, std::uint64_t column);

void recordErrorBridge(const std::exception_ptr& error, const std::optional<std::string>& message, const char* fileID,
                       const char* filePath, std::uint64_t line, std::uint64_t column);

// Without the library the body still runs and an error it throws is dropped.
void withKnownIssueBridge(const std::optional<std::string>& message, bool isIntermittent, const char* fileID,
                          const char* filePath, std::uint64_t line, std::uint64_t column,
                          const std::function<void()>& body);

std::optional<testsupport::SupportTest> currentTestBridge();

void xctFailBridge(const std::string& message, const char* filePath, std::uint64_t line);

// The body's error reaches the caller after the entry point returns.
void xctExpectFailureBridge(const std::optional<std::string>& message, std::optional<bool> enabled,
                            std::optional<bool> strict, const char* filePath, std::uint64_t line,
                            const std::function<void()>& body);

}  // namespace zirudeze::issuereporting
