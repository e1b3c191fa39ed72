#include "RowSelection.hpp"

#include <algorithm>

#include "ColumnValues.hpp"

namespace velmoria::testsupport::database {
namespace {

FakeDatabaseError unsupported(const std::string& op) {
  return FakeDatabaseError(400, "PGRST100", "\"unknown single value operator " + op + "\"",
                           "the fake database evaluates eq, neq, gt, gte, lt, lte, is, in, like and ilike");
}

FakeDatabaseError noOperator(const std::string& op, ColumnType type) {
  return FakeDatabaseError(
      404, "42883", "operator does not exist: " + op + " on this column type", std::nullopt,
      type == ColumnType::json ? std::optional<std::string>("compare jsonb with eq or neq") : std::nullopt);
}

ColumnType typeOf(const Relation& relation, const std::string& column, const Json& cell) {
  if (const FakeColumn* typed = relation.column(column)) return typed->type;
  return inferredType(cell);
}

const Json& cellOf(const Json& row, const std::string& column) {
  static const Json null;
  const auto it = row.find(column);
  return it == row.end() ? null : *it;
}

std::vector<std::string> inList(const std::string& operand) {
  if (operand.size() < 2 || operand.front() != '(' || operand.back() != ')') {
    throw FakeDatabaseError(400, "PGRST100", "\"failed to parse in list (" + operand + ")\"");
  }
  std::vector<std::string> items;
  if (operand.size() == 2) return items;
  for (const auto& item : splitTopLevel(std::string_view(operand).substr(1, operand.size() - 2), ',')) {
    items.push_back(unquoted(item));
  }
  return items;
}

std::optional<bool> isTest(const std::string& operand, const Json& cell) {
  std::string lower = operand;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "null" || lower == "unknown") return cell.is_null();
  if (lower == "true") return cell.is_boolean() && cell.get<bool>();
  if (lower == "false") return cell.is_boolean() && !cell.get<bool>();
  throw FakeDatabaseError(400, "PGRST100", "\"failed to parse is value (" + operand + ")\"");
}

std::optional<bool> columnTest(const Condition& condition, const Json& row, const Relation& relation) {
  const Json& cell = cellOf(row, condition.column);
  const ColumnType type = typeOf(relation, condition.column, cell);
  const std::string& op = condition.op;
  if (op == "is") return isTest(condition.operand, cell);
  if (op == "in") {
    std::vector<Json> values;
    for (const auto& item : inList(condition.operand)) values.push_back(operandValue(item, type));
    if (cell.is_null()) return std::nullopt;
    return std::any_of(values.begin(), values.end(),
                       [&](const Json& value) { return compareValues(cell, value, type) == 0; });
  }
  if (op == "like" || op == "ilike") {
    if (type != ColumnType::text) throw noOperator(op, type);
    if (cell.is_null()) return std::nullopt;
    return likeMatches(cell.get_ref<const std::string&>(), condition.operand, op == "ilike");
  }
  const bool ordering = op == "gt" || op == "gte" || op == "lt" || op == "lte";
  if (op != "eq" && op != "neq" && !ordering) throw unsupported(op);
  if (ordering && type == ColumnType::json) throw noOperator(op, type);
  const Json value = operandValue(condition.operand, type);
  if (cell.is_null()) return std::nullopt;
  const int order = compareValues(cell, value, type);
  if (op == "eq") return order == 0;
  if (op == "neq") return order != 0;
  if (op == "gt") return order > 0;
  if (op == "gte") return order >= 0;
  if (op == "lt") return order < 0;
  return order <= 0;
}

std::optional<bool> negated(std::optional<bool> value, bool negate) {
  if (!negate || !value) return value;
  return !*value;
}

}  // namespace

const FakeColumn* Relation::column(const std::string& name) const {
  if (!columns) return nullptr;
  for (const auto& candidate : *columns)
    if (candidate.name == name) return &candidate;
  throw FakeDatabaseError(400, "42703", "column " + this->name + "." + name + " does not exist");
}

std::optional<bool> evaluate(const Condition& condition, const Json& row, const Relation& relation) {
  if (condition.kind == Condition::Kind::test) return negated(columnTest(condition, row, relation), condition.negated);
  const bool all = condition.kind == Condition::Kind::all;
  bool unknown = false;
  for (const auto& child : condition.children) {
    const auto value = evaluate(child, row, relation);
    if (!value) {
      unknown = true;
    } else if (*value != all) {
      return negated(!all, condition.negated);
    }
  }
  if (unknown) return std::nullopt;
  return negated(all, condition.negated);
}

void validate(const Condition& condition, const Relation& relation) {
  if (condition.kind != Condition::Kind::test) {
    for (const auto& child : condition.children) validate(child, relation);
    return;
  }
  // A row of nulls runs every check except the comparison itself.
  if (relation.columns) evaluate(condition, Json::object(), relation);
}

void sortRows(std::vector<Json>& rows, const std::vector<OrderKey>& order, const Relation& relation) {
  if (order.empty()) return;
  for (const auto& key : order) relation.column(key.column);
  std::stable_sort(rows.begin(), rows.end(), [&](const Json& a, const Json& b) {
    for (const auto& key : order) {
      const Json& left = cellOf(a, key.column);
      const Json& right = cellOf(b, key.column);
      if (left.is_null() || right.is_null()) {
        if (left.is_null() && right.is_null()) continue;
        return left.is_null() == key.nullsFirst;
      }
      const int compared = compareValues(left, right, typeOf(relation, key.column, left));
      if (compared != 0) return key.ascending ? compared < 0 : compared > 0;
    }
    return false;
  });
}

Json project(const Json& row, const std::vector<std::string>& select, const Relation& relation) {
  Json out = Json::object();
  for (const auto& name : select) {
    if (name == "*") {
      for (auto it = row.begin(); it != row.end(); ++it) out[it.key()] = it.value();
      continue;
    }
    relation.column(name);
    out[name] = cellOf(row, name);
  }
  return out;
}

}  // namespace velmoria::testsupport::database
