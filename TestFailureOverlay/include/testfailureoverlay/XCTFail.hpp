#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/CodeLocation.hpp"
#include "concurrency/TaskLocal.hpp"
#include "issuereporting/IsTesting.hpp"

// Issue reporting's names are this library's own.
namespace zirudeze::testfailureoverlay {
using namespace ::zirudeze::issuereporting;

// A file and line that XCTFail reports at instead of its caller's, while bound.
struct XCTFailContext {
  const char* file;
  std::uint64_t line;

  static std::optional<XCTFailContext> current();
  static const concurrency::TaskLocal<std::optional<XCTFailContext>>& slot();
};

// Reports `message` as an issue from shipped code without linking a test framework.
void XCTFail(const std::string& message = "",
             velmoria::base::CodeLocation where = velmoria::base::CodeLocation::current());

}  // namespace zirudeze::testfailureoverlay
