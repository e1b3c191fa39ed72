#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velmoria::testsupport {

using Json = nlohmann::ordered_json;

// How a column stores and compares its values.
enum class ColumnType {
  text,       // compared byte by byte
  uuid,       // any letter case in, lower case out, compared as 128-bit values
  integer,    // signed 64-bit
  real,       // double
  boolean,    // true/false (also t/f, yes/no, on/off, 1/0 in filters)
  timestamp,  // instants with a zone; stored as "YYYY-MM-DDTHH:MM:SS[.ffffff]+00:00", compared as instants
  json,       // any JSON value; filters compare for equality only
};

struct FakeColumn {
  std::string name;
  ColumnType type = ColumnType::text;
  bool nullable = true;
  // The value of a column a written row leaves out; none means null.
  std::function<Json()> defaultValue{};
};

struct FakeTableDefinition {
  std::string name;
  std::vector<FakeColumn> columns{};
  // Columns whose values are unique together, and never null; empty means the table has no key.
  std::vector<std::string> primaryKey{};
  std::string schema = "public";
};

// What the fake database answers a request it refuses with, in the service's error shape:
// {"code": ..., "message": ..., "detail": ..., "hint": ...}. Seeding calls throw it too.
class FakeDatabaseError : public std::runtime_error {
 public:
  FakeDatabaseError(unsigned status, std::string code, std::string message,
                    std::optional<std::string> detail = std::nullopt, std::optional<std::string> hint = std::nullopt);

  Json body() const;

  unsigned status;
  std::string code;
  std::string message;
  std::optional<std::string> detail;
  std::optional<std::string> hint;
};

// A database function: the arguments as one object (texts for GET and HEAD calls), the result as JSON.
// It may throw FakeDatabaseError.
using FakeFunction = std::function<Json(const Json& arguments)>;

}  // namespace velmoria::testsupport
