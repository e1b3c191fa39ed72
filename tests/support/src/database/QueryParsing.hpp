#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testsupport/FakeDatabaseTypes.hpp"
#include "testsupport/RecordedRequest.hpp"

namespace velmoria::testsupport::database {

// A row filter: one column test, or all/any of several, each possibly negated.
struct Condition {
  enum class Kind { test, all, any };
  Kind kind = Kind::all;
  bool negated = false;
  std::string column;
  std::string op;
  std::string operand;
  std::vector<Condition> children;
};

struct OrderKey {
  std::string column;
  bool ascending = true;
  bool nullsFirst = false;
};

// What a request asks of the rows besides their filters.
struct RowShape {
  std::vector<std::string> select;  // {"*"} when absent
  std::vector<OrderKey> order;
  std::optional<std::int64_t> limit;
  std::optional<std::int64_t> offset;
  Condition filters;  // all of the filter items
};

// The "Prefer" entries the fake acts on.
struct Preferences {
  std::optional<std::string> returning;
  std::optional<std::string> count;
  std::optional<std::string> resolution;
  bool strict = false;
  std::optional<std::int64_t> maxAffected;
};

// Splits at `separator` outside parentheses and double quotes.
std::vector<std::string> splitTopLevel(std::string_view text, char separator);
// A double-quoted text without its quotes and backslash escapes; other text as it is.
std::string unquoted(std::string_view text);
// "a,b,\"c d\"" as names; "*" stays "*". Throws FakeDatabaseError PGRST100 for what the fake does not read
// (embedded resources, casts, aliases).
std::vector<std::string> parseColumnList(std::string_view text);
// The filters, select, order, limit and offset of a request's query; items named in `passThrough` are
// left out. Throws FakeDatabaseError PGRST100 for malformed or unsupported items.
RowShape parseRowShape(const RecordedRequest& request, const std::vector<std::string>& passThrough = {});
Preferences parsePreferences(const RecordedRequest& request);

}  // namespace velmoria::testsupport::database
