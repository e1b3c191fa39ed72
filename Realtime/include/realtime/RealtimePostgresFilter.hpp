#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/Date.hpp"
#include "base/UUID.hpp"

namespace zirudeze::realtime {

// A value a change filter compares with, and its filter text.
class RealtimePostgresFilterValue {
 public:
  RealtimePostgresFilterValue(std::string value) : value_(std::move(value)) {}
  RealtimePostgresFilterValue(std::string_view value) : value_(std::string(value)) {}
  RealtimePostgresFilterValue(const char* value) : value_(std::string(value)) {}
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) RealtimePostgresFilterValue(T value)
      : value_(static_cast<std::int64_t>(value)) {}
  RealtimePostgresFilterValue(double value) : value_(value) {}
  RealtimePostgresFilterValue(bool value) : value_(value) {}
  RealtimePostgresFilterValue(velmoria::base::UUID value) : value_(value) {}
  RealtimePostgresFilterValue(velmoria::base::Date value) : value_(value) {}

  // Text as is; integers in decimal; doubles in their shortest round-trip form with ".0" for whole
  // numbers; "true"/"false"; the upper-case UUID; the instant as "YYYY-MM-DDTHH:MM:SS.mmmZ" in UTC.
  std::string rawValue() const;

 private:
  std::variant<std::string, std::int64_t, double, bool, velmoria::base::UUID, velmoria::base::Date> value_;
};

// One column condition of a database-change subscription, rendered as the server's filter text.
// Nothing is escaped: the text is copied as given.
class RealtimePostgresFilter {
 public:
  enum class Operator { eq, neq, gt, gte, lt, lte, in };

  static RealtimePostgresFilter eq(std::string column, RealtimePostgresFilterValue value);
  static RealtimePostgresFilter neq(std::string column, RealtimePostgresFilterValue value);
  static RealtimePostgresFilter gt(std::string column, RealtimePostgresFilterValue value);
  static RealtimePostgresFilter gte(std::string column, RealtimePostgresFilterValue value);
  static RealtimePostgresFilter lt(std::string column, RealtimePostgresFilterValue value);
  static RealtimePostgresFilter lte(std::string column, RealtimePostgresFilterValue value);
  static RealtimePostgresFilter in(std::string column, std::vector<RealtimePostgresFilterValue> values);

  Operator op() const noexcept { return op_; }
  const std::string& column() const noexcept { return column_; }

  // "column=eq.value", ..., "column=in.(a,b)".
  std::string filterString() const;

 private:
  RealtimePostgresFilter(Operator op, std::string column, std::vector<RealtimePostgresFilterValue> values);

  Operator op_;
  std::string column_;
  std::vector<RealtimePostgresFilterValue> values_;
};

// The shortest text that reads back as the same double, with ".0" when it would look like an integer.
std::string doubleFilterText(double value);

}  // namespace zirudeze::realtime
