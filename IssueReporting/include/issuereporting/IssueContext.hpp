#pragma once

#include <optional>
#include <utility>

#include "concurrency/TaskLocal.hpp"
#include "issuereporting/SourceLocation.hpp"

namespace zirudeze::issuereporting {

// A location that issues reported inside a scope are attributed to instead of their own.
struct IssueContext {
  const char* fileID;
  const char* filePath;
  std::uint64_t line;
  std::uint64_t column;

  static std::optional<IssueContext> current();
  static const concurrency::TaskLocal<std::optional<IssueContext>>& slot();
};

template <class Operation>
decltype(auto) withIssueContext(const SourceLocation& location, Operation&& operation) {
  return IssueContext::slot().withValue(
      IssueContext{location.fileID, location.filePath, location.line, location.column},
      std::forward<Operation>(operation));
}

// The location a report hands to its reporters: all four fields from the bound context, or none.
SourceLocation resolveLocation(const SourceLocation& callSite);

}  // namespace zirudeze::issuereporting
