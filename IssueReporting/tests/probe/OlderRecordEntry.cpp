// A test-support build that offers the record-issue entry point only in its older form, without severity.
#include <cstdio>

#include "issuereporting/TestSupportABI.hpp"

namespace ts = zirudeze::issuereporting::testsupport;

namespace {
void recordWithoutSeverity(const std::optional<std::string>& message, const std::string& fileID,
                           const std::string& filePath, std::int64_t line, std::int64_t column) {
  std::printf("older: %s %s %s %lld %lld\n", message.value_or("<none>").c_str(), fileID.c_str(), filePath.c_str(),
              static_cast<long long>(line), static_cast<long long>(column));
}
}  // namespace

const ts::Entry* olderRecordEntryPoint() __asm__("$s25IssueReportingTestSupport07_recordA0ypyF");
const ts::Entry* olderRecordEntryPoint() {
  static const ts::Entry value{ts::EntryKind::recordIssueWithoutSeverity,
                               reinterpret_cast<ts::AnyFunction>(&recordWithoutSeverity)};
  return &value;
}
