#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeDatabaseTypes.hpp"
#include "testsupport/ScriptedResponse.hpp"

namespace velmoria::testsupport {

// The database half of the fake backend: in-memory tables with typed columns behind the database REST
// interface under `root` ("/rest/v1"). It answers
// - GET/HEAD <table>: "select" column lists; filters eq, neq, gt, gte, lt, lte, is, in, like, ilike, each
//   also under "not."; "or"/"and" trees; "order" with several keys and nulls first/last; limit/offset;
// - POST (insert and upsert with "on_conflict" and "columns"), PATCH and DELETE, with the "Prefer"
//   entries return, resolution, count, handling=strict and max-affected;
// - rpc/<function> by POST (arguments in the body) and GET/HEAD (arguments in the query);
// - "Content-Range" on every answer, the single-object "Accept", and the profile headers ("Accept-Profile"
//   for GET/HEAD, "Content-Profile" otherwise) against the known schemas.
// Refusals use the service's JSON error shape. Operators it does not evaluate are refused with 400, so
// tests of them look at the recorded request instead.
class FakeDatabase {
 public:
  // Installs the routes on `backend`; the first schema is the default one.
  explicit FakeDatabase(FakeBackend& backend, std::vector<std::string> schemas = {"public"},
                        std::string root = "/rest/v1");
  ~FakeDatabase();
  FakeDatabase(const FakeDatabase&) = delete;
  FakeDatabase& operator=(const FakeDatabase&) = delete;

  // Throws std::invalid_argument for an unknown schema, a duplicate table or column, or a key column
  // that is not in the table.
  void createTable(FakeTableDefinition definition);

  // Adds one row (an object) or several (an array of objects) as a POST would: types checked, defaults
  // filled, keys unique. Returns the stored rows (array). Throws FakeDatabaseError.
  Json insert(std::string_view table, const Json& rows, std::string_view schema = "public");
  // Sets the columns of `changes` (an object) in every stored row `match` accepts, as a PATCH would: types
  // checked, keys kept unique, nothing changed on an error. Returns the changed rows (array). Throws
  // FakeDatabaseError.
  Json update(std::string_view table, const std::function<bool(const Json& row)>& match, const Json& changes,
              std::string_view schema = "public");
  // Every stored row in insertion order, each with all columns in table order.
  Json rows(std::string_view table, std::string_view schema = "public") const;
  void removeAllRows(std::string_view table, std::string_view schema = "public");

  void createFunction(std::string name, FakeFunction function, std::string schema = "public");

  // The next `times` requests to `target` (a table name, or "rpc/<function>") get `response` instead.
  void failNext(std::string target, ScriptedResponse response, int times = 1);
  // A gateway's 502 with an HTML page for a body.
  static ScriptedResponse badGatewayPage();

  // Column defaults.
  static Json randomUUID();
  static Json now();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
