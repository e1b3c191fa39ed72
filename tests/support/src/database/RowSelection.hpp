#pragma once

#include <optional>
#include <string>
#include <vector>

#include "QueryParsing.hpp"
#include "testsupport/FakeDatabaseTypes.hpp"

namespace velmoria::testsupport::database {

// The rows a request works on: a table's (typed columns) or a function result's (types inferred).
struct Relation {
  std::string name;
  const std::vector<FakeColumn>* columns = nullptr;

  // Throws FakeDatabaseError 42703 for a column a typed relation does not have.
  const FakeColumn* column(const std::string& name) const;
};

// SQL's three values: nothing is unknown (a null took part).
std::optional<bool> evaluate(const Condition& condition, const Json& row, const Relation& relation);
// Checks every column and operand of the filters up front, so a bad filter fails even on an empty table.
void validate(const Condition& condition, const Relation& relation);
// Stable: rows that compare equal keep their order.
void sortRows(std::vector<Json>& rows, const std::vector<OrderKey>& order, const Relation& relation);
// The selected columns of a row, in the select list's order ("*": every column).
Json project(const Json& row, const std::vector<std::string>& select, const Relation& relation);

}  // namespace velmoria::testsupport::database
