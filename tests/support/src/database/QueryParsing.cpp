#include "QueryParsing.hpp"

#include <algorithm>
#include <charconv>

namespace velmoria::testsupport::database {
namespace {

FakeDatabaseError parseError(std::string message, std::optional<std::string> detail = std::nullopt) {
  return FakeDatabaseError(400, "PGRST100", std::move(message), std::move(detail));
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::int64_t count(std::string_view name, std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) {
    throw parseError("\"failed to parse " + std::string(name) + " parameter (" + std::string(text) + ")\"");
  }
  return value;
}

// "<op>.<operand>" or "not.<op>.<operand>".
Condition test(std::string column, std::string_view expression) {
  Condition condition;
  condition.kind = Condition::Kind::test;
  condition.column = std::move(column);
  if (expression.substr(0, 4) == "not.") {
    condition.negated = true;
    expression.remove_prefix(4);
  }
  const auto dot = expression.find('.');
  if (dot == std::string_view::npos) {
    throw parseError("\"failed to parse filter (" + std::string(expression) + ")\"");
  }
  condition.op = std::string(expression.substr(0, dot));
  condition.operand = std::string(expression.substr(dot + 1));
  return condition;
}

Condition tree(Condition::Kind kind, bool negated, std::string_view text);

// One element of a logic tree: "col.op.value", "not.col.op.value" is not valid, "[not.]and(...)", "[not.]or(...)".
Condition element(std::string_view text) {
  bool negated = false;
  std::string_view rest = text;
  if (rest.substr(0, 4) == "not.") {
    negated = true;
    rest.remove_prefix(4);
  }
  if (rest.substr(0, 4) == "and(") return tree(Condition::Kind::all, negated, rest.substr(3));
  if (rest.substr(0, 3) == "or(") return tree(Condition::Kind::any, negated, rest.substr(2));
  const auto dot = text.find('.');
  if (dot == std::string_view::npos) throw parseError("\"failed to parse logic tree (" + std::string(text) + ")\"");
  Condition condition = test(unquoted(text.substr(0, dot)), text.substr(dot + 1));
  condition.operand = condition.op == "in" ? condition.operand : unquoted(condition.operand);
  return condition;
}

Condition tree(Condition::Kind kind, bool negated, std::string_view text) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') {
    throw parseError("\"failed to parse logic tree (" + std::string(text) + ")\"");
  }
  Condition condition;
  condition.kind = kind;
  condition.negated = negated;
  for (const auto& part : splitTopLevel(text.substr(1, text.size() - 2), ',')) {
    condition.children.push_back(element(part));
  }
  return condition;
}

}  // namespace

std::vector<std::string> splitTopLevel(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::string current;
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '\\' && i + 1 < text.size()) {
      current += c;
      current += text[++i];
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '(') ++depth;
    if (!quoted && c == ')') --depth;
    if (!quoted && depth == 0 && c == separator) {
      parts.push_back(std::move(current));
      current.clear();
      continue;
    }
    current += c;
  }
  parts.push_back(std::move(current));
  return parts;
}

std::string unquoted(std::string_view text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::string(text);
  std::string out;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == '\\' && i + 2 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

std::vector<std::string> parseColumnList(std::string_view text) {
  std::vector<std::string> columns;
  for (const auto& part : splitTopLevel(text, ',')) {
    const std::string_view name = trimmed(part);
    const bool quoted = name.size() >= 2 && name.front() == '"';
    if (name.empty() || (!quoted && name.find_first_of("():!") != std::string_view::npos)) {
      throw parseError("\"failed to parse columns (" + std::string(text) + ")\"",
                       "the fake database reads plain and quoted column names only");
    }
    columns.push_back(unquoted(name));
  }
  return columns;
}

RowShape parseRowShape(const RecordedRequest& request, const std::vector<std::string>& passThrough) {
  RowShape shape;
  shape.select = {"*"};
  shape.filters.kind = Condition::Kind::all;
  for (const auto& [name, value] : request.query) {
    if (std::find(passThrough.begin(), passThrough.end(), name) != passThrough.end()) continue;
    const std::string text = value.value_or("");
    if (name == "select") {
      shape.select = parseColumnList(text);
    } else if (name == "order") {
      for (const auto& part : splitTopLevel(text, ',')) {
        const auto pieces = splitTopLevel(part, '.');
        OrderKey key{unquoted(pieces.front()), true, false};
        std::optional<bool> nullsFirst;
        for (std::size_t i = 1; i < pieces.size(); ++i) {
          if (pieces[i] == "asc")
            key.ascending = true;
          else if (pieces[i] == "desc")
            key.ascending = false;
          else if (pieces[i] == "nullsfirst")
            nullsFirst = true;
          else if (pieces[i] == "nullslast")
            nullsFirst = false;
          else
            throw parseError("\"failed to parse order (" + text + ")\"");
        }
        // Nulls sort as the largest value unless the order says otherwise.
        key.nullsFirst = nullsFirst.value_or(!key.ascending);
        shape.order.push_back(std::move(key));
      }
    } else if (name == "limit") {
      shape.limit = count("limit", text);
    } else if (name == "offset") {
      shape.offset = count("offset", text);
    } else if (name == "or" || name == "and" || name == "not.or" || name == "not.and") {
      const bool negated = name.substr(0, 4) == "not.";
      const bool any = name.back() == 'r';
      shape.filters.children.push_back(tree(any ? Condition::Kind::any : Condition::Kind::all, negated, text));
    } else if (name.find('.') != std::string::npos) {
      throw parseError("\"" + name + "\" names an embedded resource", "the fake database has no embedded resources");
    } else {
      shape.filters.children.push_back(test(name, text));
    }
  }
  return shape;
}

Preferences parsePreferences(const RecordedRequest& request) {
  Preferences preferences;
  for (const auto& header : request.headerValues("Prefer")) {
    for (const auto& entry : splitTopLevel(header, ',')) {
      const std::string_view item = trimmed(entry);
      const auto equals = item.find('=');
      const std::string key(trimmed(item.substr(0, equals)));
      const std::string value(equals == std::string_view::npos ? "" : trimmed(item.substr(equals + 1)));
      if (key == "return")
        preferences.returning = value;
      else if (key == "count")
        preferences.count = value;
      else if (key == "resolution")
        preferences.resolution = value;
      else if (key == "handling")
        preferences.strict = value == "strict";
      else if (key == "max-affected")
        preferences.maxAffected = count("max-affected", value);
    }
  }
  return preferences;
}

}  // namespace velmoria::testsupport::database
