// The overlay's failure entry points; issues from here carry the file identifier of this file.
#include "issuereporting/ReportIssue.hpp"
#include "testfailureoverlay/XCTFail.hpp"

// Issue reporting's names are this library's own.
namespace zirudeze::testfailureoverlay {
using namespace ::zirudeze::issuereporting;

const concurrency::TaskLocal<std::optional<XCTFailContext>>& XCTFailContext::slot() {
  static const concurrency::TaskLocal<std::optional<XCTFailContext>> slot(std::nullopt);
  return slot;
}

std::optional<XCTFailContext> XCTFailContext::current() { return slot().get(); }

void XCTFail(const std::string& message, velmoria::base::CodeLocation where) {
  const char* file = where.file_name();
  std::uint64_t line = where.line();
  if (const auto context = XCTFailContext::current()) {
    file = context->file;
    line = context->line;
  }
  reportIssue([&message]() -> std::optional<std::string> { return message; }, IssueSeverity::error,
              SourceLocation{"TestFailureOverlay/Deprecations", file, line, 14});
}

}  // namespace zirudeze::testfailureoverlay
