#pragma once

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "concurrency/CancellationError.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/ReportIssue.hpp"

namespace zirudeze::issuereporting::detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class Operation>
auto runReportingErrors(const Message& message, const SourceLocation& location, Operation& operation) {
  using Raw = std::invoke_result_t<Operation&>;
  using Value = std::conditional_t<std::is_void_v<Raw>, std::monostate, Raw>;
  // An operation that already answers "maybe" keeps a single level of "no value".
  using Out = std::conditional_t<IsOptional<Value>::value, Value, std::optional<Value>>;
  try {
    if constexpr (std::is_void_v<Raw>) {
      operation();
      return Out(std::monostate{});
    } else {
      return Out(operation());
    }
  } catch (const concurrency::CancellationError&) {
    return Out(std::nullopt);
  } catch (...) {
    reportIssue(std::current_exception(), message, location);
    return Out(std::nullopt);
  }
}

}  // namespace zirudeze::issuereporting::detail

namespace zirudeze::issuereporting {

// Runs `operation`; an error escaping it is reported (cancellation quietly) and gives no value.
template <class Operation>
auto withErrorReporting(Message message, std::optional<ReporterList> reporters, const SourceLocation& location,
                        Operation&& operation) {
  if (reporters) {
    return withIssueReporters(std::move(*reporters),
                              [&] { return detail::runReportingErrors(message, location, operation); });
  }
  return detail::runReportingErrors(message, location, operation);
}

}  // namespace zirudeze::issuereporting
