#include "testsupport/FakeDatabase.hpp"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

#include "ColumnValues.hpp"
#include "QueryParsing.hpp"
#include "RowSelection.hpp"
#include "base/UUID.hpp"
#include "base/Unicode.hpp"

namespace velmoria::testsupport {
namespace {

using database::Condition;
using database::Preferences;
using database::Relation;
using database::RowShape;

struct Table {
  FakeTableDefinition definition;
  std::vector<Json> rows;

  Relation relation() const { return Relation{definition.name, &definition.columns}; }
  const FakeColumn* find(const std::string& name) const {
    for (const auto& column : definition.columns)
      if (column.name == name) return &column;
    return nullptr;
  }
};

std::string dumped(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

ScriptedResponse errorAnswer(const FakeDatabaseError& error) {
  return ScriptedResponse::json(error.status, dumped(error.body()));
}

FakeDatabaseError invalidBody() { return FakeDatabaseError(400, "PGRST102", "Empty or invalid json"); }

Json parsedBody(const RecordedRequest& request, bool emptyIsObject) {
  if (request.body.empty() && emptyIsObject) return Json::object();
  Json body = Json::parse(request.body, nullptr, false);
  if (body.is_discarded()) throw invalidBody();
  return body;
}

// Whether the answer is one object rather than an array; refuses media types the fake does not write.
bool wantsSingleObject(const RecordedRequest& request) {
  const auto accept = request.header("Accept");
  if (!accept || accept->empty()) return false;
  if (accept->find("application/vnd.pgrst.object+json") != std::string::npos) return true;
  if (accept->find("application/json") != std::string::npos || accept->find("*/*") != std::string::npos) return false;
  throw FakeDatabaseError(406, "PGRST107", "None of these media types are available: " + base::repairUTF8(*accept));
}

// "<first>-<last>/<total>"; "*" for no rows, and for the total when no count was asked for.
std::string contentRange(std::int64_t first, std::size_t returned, const Preferences& preferences, std::size_t total) {
  std::string range =
      returned == 0 ? "*"
                    : std::to_string(first) + "-" + std::to_string(first + static_cast<std::int64_t>(returned) - 1);
  return range + "/" + (preferences.count ? std::to_string(total) : "*");
}

// The answer with rows: an array, or one object for the single-object media type.
ScriptedResponse rowsAnswer(unsigned status, const RecordedRequest& request, const std::vector<Json>& rows,
                            std::string range) {
  const bool single = wantsSingleObject(request);
  ScriptedResponse response;
  response.status = status;
  if (single) {
    if (rows.size() != 1) {
      throw FakeDatabaseError(406, "PGRST116", "JSON object requested, multiple (or no) rows returned",
                              "The result contains " + std::to_string(rows.size()) + " rows");
    }
    response.headers.emplace_back("Content-Type", "application/vnd.pgrst.object+json; charset=utf-8");
    response.body = dumped(rows.front());
  } else {
    response.headers.emplace_back("Content-Type", "application/json; charset=utf-8");
    response.body = dumped(Json(rows));
  }
  response.headers.emplace_back("Content-Range", std::move(range));
  return response;
}

ScriptedResponse emptyAnswer(unsigned status, std::string range) {
  ScriptedResponse response;
  response.status = status;
  response.headers.emplace_back("Content-Range", std::move(range));
  return response;
}

std::vector<Json> page(std::vector<Json> rows, const RowShape& shape) {
  const auto offset = static_cast<std::size_t>(
      std::min<std::int64_t>(shape.offset.value_or(0), static_cast<std::int64_t>(rows.size())));
  rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(offset));
  if (shape.limit && static_cast<std::size_t>(*shape.limit) < rows.size())
    rows.resize(static_cast<std::size_t>(*shape.limit));
  return rows;
}

std::vector<Json> projected(const std::vector<Json>& rows, const RowShape& shape, const Relation& relation) {
  std::vector<Json> out;
  out.reserve(rows.size());
  for (const auto& row : rows) out.push_back(database::project(row, shape.select, relation));
  return out;
}

std::vector<std::string> namedColumns(const RecordedRequest& request, std::string_view item, const Table& table) {
  const auto value = request.queryValue(item);
  if (!value) return {};
  auto columns = database::parseColumnList(*value);
  for (const auto& name : columns) table.relation().column(name);
  return columns;
}

bool sameKey(const Json& a, const Json& b, const std::vector<std::string>& key) {
  if (key.empty()) return false;
  return std::all_of(key.begin(), key.end(), [&](const std::string& column) {
    const Json& left = a[column];
    return !left.is_null() && left == b[column];
  });
}

void requireUniqueKeys(const Table& table, const std::vector<Json>& rows) {
  const auto& key = table.definition.primaryKey;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      if (sameKey(rows[i], rows[j], key)) {
        throw FakeDatabaseError(
            409, "23505", "duplicate key value violates unique constraint \"" + table.definition.name + "_pkey\"");
      }
    }
  }
}

void requireValue(const Table& table, const FakeColumn& column, const Json& value) {
  if (value.is_null() && !column.nullable) {
    throw FakeDatabaseError(400, "23502",
                            "null value in column \"" + column.name + "\" of relation \"" + table.definition.name +
                                "\" violates not-null constraint");
  }
}

const FakeColumn& writableColumn(const Table& table, const std::string& name) {
  if (const FakeColumn* column = table.find(name)) return *column;
  throw FakeDatabaseError(
      400, "PGRST204",
      "Could not find the '" + name + "' column of '" + table.definition.name + "' in the schema cache");
}

void requireWithinMaximum(const Preferences& preferences, std::size_t affected) {
  if (preferences.strict && preferences.maxAffected && affected > static_cast<std::size_t>(*preferences.maxAffected)) {
    throw FakeDatabaseError(400, "PGRST124", "Query result exceeds max-affected preference constraint",
                            "The query affects " + std::to_string(affected) + " rows");
  }
}

struct InsertRules {
  std::vector<std::string> columns;     // empty: every key of each object
  std::vector<std::string> onConflict;  // empty: the primary key
  std::optional<std::string> resolution;
};

// Adds the rows as one statement: on any error nothing is stored. Returns the rows written.
std::vector<Json> insertRows(Table& table, const Json& payload, const InsertRules& rules) {
  std::vector<Json> objects;
  if (payload.is_object()) {
    objects.push_back(payload);
  } else if (payload.is_array()) {
    objects.assign(payload.begin(), payload.end());
  } else {
    throw invalidBody();
  }
  const auto& conflictKey = rules.onConflict.empty() ? table.definition.primaryKey : rules.onConflict;
  std::vector<Json> rows = table.rows;
  std::vector<Json> written;
  for (const auto& object : objects) {
    if (!object.is_object()) throw invalidBody();
    const auto taken = [&](const std::string& key) {
      return rules.columns.empty() || std::find(rules.columns.begin(), rules.columns.end(), key) != rules.columns.end();
    };
    for (auto it = object.begin(); it != object.end(); ++it)
      if (taken(it.key())) writableColumn(table, it.key());
    Json row = Json::object();
    std::vector<std::string> provided;
    for (const auto& column : table.definition.columns) {
      if (object.contains(column.name) && taken(column.name)) {
        row[column.name] = database::storedValue(column, object[column.name]);
        provided.push_back(column.name);
      } else {
        row[column.name] = column.defaultValue ? database::storedValue(column, column.defaultValue()) : Json(nullptr);
      }
      requireValue(table, column, row[column.name]);
    }
    const auto existing =
        std::find_if(rows.begin(), rows.end(), [&](const Json& stored) { return sameKey(stored, row, conflictKey); });
    if (existing == rows.end()) {
      rows.push_back(row);
      written.push_back(row);
    } else if (rules.resolution == "merge-duplicates") {
      for (const auto& name : provided) (*existing)[name] = row[name];
      written.push_back(*existing);
    } else if (rules.resolution != "ignore-duplicates") {
      throw FakeDatabaseError(409, "23505",
                              "duplicate key value violates unique constraint \"" + table.definition.name + "_pkey\"",
                              "Key already exists.");
    }
    requireUniqueKeys(table, rows);
  }
  table.rows = std::move(rows);
  return written;
}

// Sets the columns of `body` (an object) in every row `match` accepts, as one statement: on any error
// nothing is changed. Returns the rows written.
std::vector<Json> updateRows(Table& table, const std::function<bool(const Json&)>& match, const Json& body) {
  if (!body.is_object()) throw invalidBody();
  Json changes = Json::object();
  for (auto it = body.begin(); it != body.end(); ++it) {
    const FakeColumn& column = writableColumn(table, it.key());
    changes[column.name] = database::storedValue(column, it.value());
    requireValue(table, column, changes[column.name]);
  }
  std::vector<Json> rows = table.rows;
  std::vector<Json> written;
  for (auto& row : rows) {
    if (!match(row)) continue;
    for (auto it = changes.begin(); it != changes.end(); ++it) row[it.key()] = it.value();
    written.push_back(row);
  }
  requireUniqueKeys(table, rows);
  table.rows = std::move(rows);
  return written;
}

}  // namespace

struct FakeDatabase::State {
  std::vector<std::string> schemas;
  std::string root;

  mutable std::mutex mutex;
  std::map<std::string, Table> tables;  // "<schema>.<name>"
  std::map<std::string, FakeFunction> functions;
  std::map<std::string, std::pair<ScriptedResponse, int>> failures;

  static std::string key(std::string_view schema, std::string_view name) {
    return std::string(schema) + "." + std::string(name);
  }

  Table& table(std::string_view schema, std::string_view name) {
    const auto it = tables.find(key(schema, name));
    if (it == tables.end()) {
      throw FakeDatabaseError(404, "42P01", "relation \"" + key(schema, name) + "\" does not exist");
    }
    return it->second;
  }

  std::optional<ScriptedResponse> scriptedFailure(const std::string& target) {
    std::lock_guard lock(mutex);
    const auto it = failures.find(target);
    if (it == failures.end()) return std::nullopt;
    ScriptedResponse response = it->second.first;
    if (--it->second.second <= 0) failures.erase(it);
    return response;
  }

  std::string schemaOf(const RecordedRequest& request) const {
    const bool reads = request.method == "GET" || request.method == "HEAD";
    const auto profile = request.header(reads ? "Accept-Profile" : "Content-Profile");
    if (!profile) return schemas.front();
    if (std::find(schemas.begin(), schemas.end(), *profile) == schemas.end()) {
      std::string known;
      for (const auto& schema : schemas) known += (known.empty() ? "" : ", ") + schema;
      throw FakeDatabaseError(406, "PGRST106", "The schema must be one of the following: " + known);
    }
    return *profile;
  }

  ScriptedResponse handle(const RecordedRequest& request) {
    const std::string prefix = root + "/";
    const std::string target = request.path.substr(std::min(request.path.size(), prefix.size()));
    if (auto failure = scriptedFailure(target)) return *failure;
    try {
      const std::string schema = schemaOf(request);
      if (target.rfind("rpc/", 0) == 0) return call(request, schema, target.substr(4));
      std::lock_guard lock(mutex);
      Table& found = table(schema, target);
      if (request.method == "GET" || request.method == "HEAD") return read(request, found);
      if (request.method == "POST") return insert(request, found);
      if (request.method == "PATCH") return update(request, found);
      if (request.method == "DELETE") return remove(request, found);
      throw FakeDatabaseError(405, "PGRST117", "Unsupported HTTP method: " + request.method);
    } catch (const FakeDatabaseError& error) {
      return errorAnswer(error);
    }
  }

  static ScriptedResponse read(const RecordedRequest& request, const Table& table) {
    const RowShape shape = database::parseRowShape(request);
    const Preferences preferences = database::parsePreferences(request);
    const Relation relation = table.relation();
    database::validate(shape.filters, relation);
    std::vector<Json> matched;
    for (const auto& row : table.rows)
      if (database::evaluate(shape.filters, row, relation) == true) matched.push_back(row);
    database::sortRows(matched, shape.order, relation);
    const std::size_t total = matched.size();
    const std::vector<Json> rows = projected(page(std::move(matched), shape), shape, relation);
    return rowsAnswer(200, request, rows, contentRange(shape.offset.value_or(0), rows.size(), preferences, total));
  }

  static RowShape writeShape(const RecordedRequest& request, const std::vector<std::string>& passThrough) {
    RowShape shape = database::parseRowShape(request, passThrough);
    if (shape.limit || shape.offset || !shape.order.empty()) {
      throw FakeDatabaseError(400, "PGRST100", "\"limit, offset and order are not read on writes\"",
                              "the fake database writes every matching row");
    }
    return shape;
  }

  static ScriptedResponse writeAnswer(const RecordedRequest& request, const RowShape& shape,
                                      const Preferences& preferences, const std::vector<Json>& written,
                                      const Relation& relation) {
    const bool created = request.method == "POST";
    const std::string range = contentRange(0, written.size(), preferences, written.size());
    if (preferences.returning == "representation") {
      return rowsAnswer(created ? 201 : 200, request, projected(written, shape, relation), range);
    }
    return emptyAnswer(created ? 201 : 204, range);
  }

  static ScriptedResponse insert(const RecordedRequest& request, Table& table) {
    const RowShape shape = writeShape(request, {"columns", "on_conflict"});
    if (!shape.filters.children.empty()) {
      throw FakeDatabaseError(400, "PGRST100", "\"filters are not read on inserts\"");
    }
    const Preferences preferences = database::parsePreferences(request);
    InsertRules rules{namedColumns(request, "columns", table), namedColumns(request, "on_conflict", table),
                      preferences.resolution};
    Table draft = table;
    const auto written = insertRows(draft, parsedBody(request, false), rules);
    requireWithinMaximum(preferences, written.size());
    table.rows = std::move(draft.rows);
    return writeAnswer(request, shape, preferences, written, table.relation());
  }

  static ScriptedResponse update(const RecordedRequest& request, Table& table) {
    const RowShape shape = writeShape(request, {});
    const Preferences preferences = database::parsePreferences(request);
    const Relation relation = table.relation();
    database::validate(shape.filters, relation);
    Table draft = table;
    const auto written = updateRows(
        draft, [&](const Json& row) { return database::evaluate(shape.filters, row, relation) == true; },
        parsedBody(request, false));
    requireWithinMaximum(preferences, written.size());
    table.rows = std::move(draft.rows);
    return writeAnswer(request, shape, preferences, written, relation);
  }

  static ScriptedResponse remove(const RecordedRequest& request, Table& table) {
    const RowShape shape = writeShape(request, {});
    const Preferences preferences = database::parsePreferences(request);
    const Relation relation = table.relation();
    database::validate(shape.filters, relation);
    std::vector<Json> kept;
    std::vector<Json> removed;
    for (const auto& row : table.rows) {
      (database::evaluate(shape.filters, row, relation) == true ? removed : kept).push_back(row);
    }
    requireWithinMaximum(preferences, removed.size());
    table.rows = std::move(kept);
    return writeAnswer(request, shape, preferences, removed, relation);
  }

  ScriptedResponse call(const RecordedRequest& request, const std::string& schema, const std::string& name) {
    FakeFunction function;
    {
      std::lock_guard lock(mutex);
      const auto it = functions.find(key(schema, name));
      if (it == functions.end()) {
        throw FakeDatabaseError(404, "PGRST202",
                                "Could not find the function " + key(schema, name) + " in the schema cache");
      }
      function = it->second;
    }
    const bool post = request.method == "POST";
    if (!post && request.method != "GET" && request.method != "HEAD") {
      throw FakeDatabaseError(405, "PGRST117", "Unsupported HTTP method: " + request.method);
    }
    Json arguments = Json::object();
    std::vector<std::string> argumentNames;
    if (post) {
      arguments = parsedBody(request, true);
      if (!arguments.is_object()) throw invalidBody();
    } else {
      for (const auto& [item, value] : request.query) {
        if (item == "select" || item == "order" || item == "limit" || item == "offset") continue;
        arguments[item] = value ? Json(*value) : Json(nullptr);
        argumentNames.push_back(item);
      }
    }
    const RowShape shape = database::parseRowShape(request, argumentNames);
    const Preferences preferences = database::parsePreferences(request);
    // Called outside the lock, so a function may read and change tables itself.
    const Json result = function(arguments);
    const bool rows =
        result.is_array() && std::all_of(result.begin(), result.end(), [](const Json& row) { return row.is_object(); });
    if (!rows) {
      ScriptedResponse response = ScriptedResponse::json(200, dumped(result));
      response.headers.emplace_back("Content-Range", "*/*");
      return response;
    }
    const Relation relation{name, nullptr};
    std::vector<Json> matched;
    for (const auto& row : result)
      if (database::evaluate(shape.filters, row, relation) == true) matched.push_back(row);
    database::sortRows(matched, shape.order, relation);
    const std::size_t total = matched.size();
    const std::vector<Json> out = projected(page(std::move(matched), shape), shape, relation);
    return rowsAnswer(200, request, out, contentRange(shape.offset.value_or(0), out.size(), preferences, total));
  }
};

FakeDatabase::FakeDatabase(FakeBackend& backend, std::vector<std::string> schemas, std::string root)
    : state_(std::make_shared<State>()) {
  if (schemas.empty()) throw std::invalid_argument("a fake database needs at least one schema");
  state_->schemas = std::move(schemas);
  state_->root = std::move(root);
  backend.route("*", state_->root + "/*",
                [state = state_](const RecordedRequest& request) { return state->handle(request); });
}

FakeDatabase::~FakeDatabase() = default;

void FakeDatabase::createTable(FakeTableDefinition definition) {
  std::lock_guard lock(state_->mutex);
  const auto& schemas = state_->schemas;
  if (std::find(schemas.begin(), schemas.end(), definition.schema) == schemas.end()) {
    throw std::invalid_argument("unknown schema " + definition.schema);
  }
  Table table{std::move(definition), {}};
  for (std::size_t i = 0; i < table.definition.columns.size(); ++i) {
    for (std::size_t j = i + 1; j < table.definition.columns.size(); ++j) {
      if (table.definition.columns[i].name == table.definition.columns[j].name) {
        throw std::invalid_argument("column " + table.definition.columns[i].name + " appears twice");
      }
    }
  }
  for (const auto& name : table.definition.primaryKey) {
    if (!table.find(name)) throw std::invalid_argument("key column " + name + " is not a column");
    // Key columns are never null.
    for (auto& column : table.definition.columns)
      if (column.name == name) column.nullable = false;
  }
  const std::string key = State::key(table.definition.schema, table.definition.name);
  if (!state_->tables.emplace(key, std::move(table)).second) throw std::invalid_argument("table " + key + " exists");
}

Json FakeDatabase::insert(std::string_view table, const Json& rows, std::string_view schema) {
  std::lock_guard lock(state_->mutex);
  return Json(insertRows(state_->table(schema, table), rows, InsertRules{}));
}

Json FakeDatabase::update(std::string_view table, const std::function<bool(const Json& row)>& match,
                          const Json& changes, std::string_view schema) {
  std::lock_guard lock(state_->mutex);
  return Json(updateRows(state_->table(schema, table), match, changes));
}

Json FakeDatabase::rows(std::string_view table, std::string_view schema) const {
  std::lock_guard lock(state_->mutex);
  return Json(state_->table(schema, table).rows);
}

void FakeDatabase::removeAllRows(std::string_view table, std::string_view schema) {
  std::lock_guard lock(state_->mutex);
  state_->table(schema, table).rows.clear();
}

void FakeDatabase::createFunction(std::string name, FakeFunction function, std::string schema) {
  std::lock_guard lock(state_->mutex);
  state_->functions.insert_or_assign(State::key(schema, name), std::move(function));
}

void FakeDatabase::failNext(std::string target, ScriptedResponse response, int times) {
  std::lock_guard lock(state_->mutex);
  state_->failures.insert_or_assign(std::move(target), std::make_pair(std::move(response), times));
}

ScriptedResponse FakeDatabase::badGatewayPage() {
  ScriptedResponse response;
  response.status = 502;
  response.headers.emplace_back("Content-Type", "text/html");
  response.body =
      "<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n<center><h1>502 Bad Gateway</h1></center>\r\n"
      "</body>\r\n</html>\r\n";
  return response;
}

Json FakeDatabase::randomUUID() {
  std::string text = base::UUID::random().uuidString();
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

Json FakeDatabase::now() {
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  return database::formatTimestamp(micros);
}

}  // namespace velmoria::testsupport
