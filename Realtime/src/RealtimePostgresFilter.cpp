#include "realtime/RealtimePostgresFilter.hpp"

#include <charconv>
#include <cmath>
#include <utility>

#include "helpers/ISO8601Date.hpp"

namespace zirudeze::realtime {

std::string doubleFilterText(double value) {
  // Plain digits from 1e-4 up to 2^53, the exponent form outside (as the platform writes doubles).
  const double magnitude = std::fabs(value);
  const bool plain = value == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    plain ? std::chars_format::fixed : std::chars_format::scientific);
  std::string text(buffer, result.ptr);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return text;
}

std::string RealtimePostgresFilterValue::rawValue() const {
  struct Render {
    std::string operator()(const std::string& value) const { return value; }
    std::string operator()(std::int64_t value) const { return std::to_string(value); }
    std::string operator()(double value) const { return doubleFilterText(value); }
    std::string operator()(bool value) const { return value ? "true" : "false"; }
    std::string operator()(const velmoria::base::UUID& value) const { return value.uuidString(); }
    std::string operator()(const velmoria::base::Date& value) const { return helpers::formatISO8601Date(value) + "Z"; }
  };
  return std::visit(Render{}, value_);
}

RealtimePostgresFilter::RealtimePostgresFilter(Operator op, std::string column,
                                               std::vector<RealtimePostgresFilterValue> values)
    : op_(op), column_(std::move(column)), values_(std::move(values)) {}

RealtimePostgresFilter RealtimePostgresFilter::eq(std::string column, RealtimePostgresFilterValue value) {
  return RealtimePostgresFilter(Operator::eq, std::move(column), {std::move(value)});
}
RealtimePostgresFilter RealtimePostgresFilter::neq(std::string column, RealtimePostgresFilterValue value) {
  return RealtimePostgresFilter(Operator::neq, std::move(column), {std::move(value)});
}
RealtimePostgresFilter RealtimePostgresFilter::gt(std::string column, RealtimePostgresFilterValue value) {
  return RealtimePostgresFilter(Operator::gt, std::move(column), {std::move(value)});
}
RealtimePostgresFilter RealtimePostgresFilter::gte(std::string column, RealtimePostgresFilterValue value) {
  return RealtimePostgresFilter(Operator::gte, std::move(column), {std::move(value)});
}
RealtimePostgresFilter RealtimePostgresFilter::lt(std::string column, RealtimePostgresFilterValue value) {
  return RealtimePostgresFilter(Operator::lt, std::move(column), {std::move(value)});
}
RealtimePostgresFilter RealtimePostgresFilter::lte(std::string column, RealtimePostgresFilterValue value) {
  return RealtimePostgresFilter(Operator::lte, std::move(column), {std::move(value)});
}
RealtimePostgresFilter RealtimePostgresFilter::in(std::string column, std::vector<RealtimePostgresFilterValue> values) {
  return RealtimePostgresFilter(Operator::in, std::move(column), std::move(values));
}

std::string RealtimePostgresFilter::filterString() const {
  static constexpr const char* kJoiners[] = {"=eq.", "=neq.", "=gt.", "=gte.", "=lt.", "=lte."};
  if (op_ != Operator::in) return column_ + kJoiners[static_cast<int>(op_)] + values_.front().rawValue();
  std::string text = column_ + "=in.(";
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (i > 0) text += ',';
    text += values_[i].rawValue();
  }
  return text + ")";
}

}  // namespace zirudeze::realtime
