#include "issuereporting/IssueContext.hpp"

namespace zirudeze::issuereporting {

const concurrency::TaskLocal<std::optional<IssueContext>>& IssueContext::slot() {
  static const concurrency::TaskLocal<std::optional<IssueContext>> slot(std::nullopt);
  return slot;
}

std::optional<IssueContext> IssueContext::current() { return slot().get(); }

SourceLocation resolveLocation(const SourceLocation& callSite) {
  const auto context = IssueContext::current();
  if (!context) return callSite;
  return SourceLocation{context->fileID, context->filePath, context->line, context->column};
}

}  // namespace zirudeze::issuereporting
