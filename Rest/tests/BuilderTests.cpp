// Statements, transforms and how each shapes the request.
#include "RestTestSupport.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::rest::testing {
namespace {

using helpers::AnyJSON;

std::vector<std::pair<std::string, std::string>> items(const helpers::HTTPRequest& request) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& item : request.query) out.emplace_back(item.name, item.value.value_or("<none>"));
  return out;
}

std::optional<std::string> prefer(const RestBuilder& builder) {
  return builder.request().headers[*http::HTTPField::Name::make("Prefer")];
}

class StatementTest : public RestTest {
 protected:
  StatementTest() {
    database.createTable({.name = "items",
                          .columns = {{.name = "id", .type = ColumnType::integer},
                                      {.name = "a", .type = ColumnType::integer},
                                      {.name = "b", .type = ColumnType::integer},
                                      {.name = "c", .type = ColumnType::integer}},
                          .primaryKey = {"id"}});
  }
};

TEST_F(StatementTest, SelectCleansColumnsOutsideQuotesOnly) {
  auto query = client().from("items");
  EXPECT_EQ(query.select("id,\n  \"first  name\",\tb ").request().query.front().value, "id,\"first  name\",b");
  const auto counted = query.select("*", {.head = true, .count = CountOption::exact});
  EXPECT_EQ(counted.request().method, helpers::HTTPRequest::Method::head());
  EXPECT_EQ(prefer(counted), "count=exact");
  EXPECT_FALSE(prefer(client().from("items").select("*")));
}

TEST_F(StatementTest, InsertListsTheColumnsOfAllRowsAndStoresThem) {
  const auto written = client()
                           .from("items")
                           .insert(Json::array({{{"id", 1}, {"b", 1}, {"a", 2}}, {{"id", 2}, {"a", 3}, {"c", 4}}}),
                                   {.returning = RestReturningOptions::representation})
                           .execute<AnyJSON>();
  EXPECT_EQ(written.status(), 201);
  EXPECT_EQ(written.value.arrayValue()->size(), 2u);
  const RecordedRequest request = backend.lastRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.queryValue("columns"), "a,b,c,id");
  EXPECT_EQ(request.header("Prefer"), "return=representation");
  EXPECT_EQ(Json::parse(request.body), Json::parse(R"([{"id":1,"b":1,"a":2},{"id":2,"a":3,"c":4}])"));
  EXPECT_EQ(database.rows("items")[0]["c"], nullptr);

  const auto one = client().from("items").insert(Json{{"id", 3}});
  EXPECT_FALSE(one.request().query.size());
  // No rows name no columns: the item is left out rather than sent empty, and nothing is inserted.
  const auto none = client().from("items").insert(Json::array()).executeDiscardingValue();
  EXPECT_EQ(none.status(), 201);
  EXPECT_EQ(backend.lastRequest().body, "[]");
  EXPECT_EQ(backend.lastRequest().rawQuery, "");
  EXPECT_EQ(database.rows("items").size(), 2u);
  EXPECT_FALSE(prefer(one));
  EXPECT_EQ(prefer(client().from("items").insert(Json{{"id", 4}}, {.count = CountOption::planned})), "count=planned");
}

TEST_F(StatementTest, UpsertComposesPreferInOrderAndNamesTheConflictColumns) {
  database.insert("items", Json{{"id", 1}, {"a", 1}});
  auto upsert = client().from("items").upsert(Json::array({{{"id", 1}, {"a", 9}}, {{"id", 2}, {"a", 2}}}),
                                              {.onConflict = "id",
                                               .returning = RestReturningOptions::minimal,
                                               .count = CountOption::exact,
                                               .ignoreDuplicates = true});
  const auto response = upsert.executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "resolution=ignore-duplicates,return=minimal,count=exact");
  EXPECT_EQ(backend.lastRequest().queryValue("on_conflict"), "id");
  EXPECT_EQ(response.count, 1);
  EXPECT_EQ(database.rows("items")[0]["a"], 1);

  client().from("items").upsert(Json{{"id", 1}, {"a", 9}}).executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "resolution=merge-duplicates,return=representation");
  EXPECT_EQ(database.rows("items")[0]["a"], 9);
}

TEST_F(StatementTest, AnEarlierPreferStaysInFront) {
  auto insert = client()
                    .from("items")
                    .setHeader("Prefer", "tx=rollback")
                    .insert(Json{{"id", 1}}, {.returning = RestReturningOptions::minimal});
  EXPECT_EQ(prefer(insert), "tx=rollback,return=minimal");
  EXPECT_EQ(prefer(insert.select("id")), "tx=rollback,return=representation");
}

TEST_F(StatementTest, UpdateAndDeleteUseTheirMethodsAndReturnWhatTheyTouched) {
  database.insert("items", Json::array({{{"id", 1}, {"a", 1}}, {{"id", 2}, {"a", 1}}, {{"id", 3}, {"a", 2}}}));
  const auto updated = client().from("items").update(Json{{"b", 5}}).eq("a", 1).execute<AnyJSON>();
  EXPECT_EQ(backend.lastRequest().method, "PATCH");
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "return=representation");
  EXPECT_EQ(updated.value.arrayValue()->size(), 2u);

  const auto deleted = client()
                           .from("items")
                           .delete_({.returning = RestReturningOptions::minimal, .count = CountOption::exact})
                           .eq("b", 5)
                           .executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().method, "DELETE");
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "return=minimal,count=exact");
  EXPECT_EQ(deleted.status(), 204);
  EXPECT_EQ(deleted.count, 2);
  EXPECT_EQ(database.rows("items").size(), 1u);
}

TEST_F(StatementTest, AQueryBuilderStartsIndependentStatements) {
  auto query = client().from("items");
  auto first = query.select("a");
  auto second = query.select("b");
  first.eq("a", 1);
  EXPECT_EQ(items(first.request()), (std::vector<std::pair<std::string, std::string>>{{"select", "a"}, {"a", "eq.1"}}));
  EXPECT_EQ(items(second.request()), (std::vector<std::pair<std::string, std::string>>{{"select", "b"}}));
}

class TransformTest : public RestTest {
 protected:
  RestFilterBuilder builder() { return client().from("items").select("*"); }
};

TEST_F(TransformTest, OrderAppendsInPlaceAndReferencedTablesHaveTheirOwnItem) {
  auto query = builder();
  query.order("started_at", {.ascending = false}).limit(1).order("id", {.nullsFirst = true});
  query.order("name", {.referencedTable = "items"});
  EXPECT_EQ(items(query.request()),
            (std::vector<std::pair<std::string, std::string>>{{"select", "*"},
                                                              {"order", "started_at.desc.nullslast,id.asc.nullsfirst"},
                                                              {"limit", "1"},
                                                              {"items.order", "name.asc.nullslast"}}));
}

TEST_F(TransformTest, LimitReplacesAndRangeWritesOffsetThenLimit) {
  auto query = builder();
  query.limit(1).limit(5).range(0, 9).range(2, 3, "items");
  EXPECT_EQ(items(query.request()),
            (std::vector<std::pair<std::string, std::string>>{
                {"select", "*"}, {"limit", "10"}, {"offset", "0"}, {"items.offset", "2"}, {"items.limit", "2"}}));
  EXPECT_EQ(items(builder().range(5, 3).request()).back(), (std::pair<std::string, std::string>{"limit", "-1"}));
}

TEST_F(TransformTest, MaxAffectedAndSelectMergeIntoPrefer) {
  auto query = builder();
  query.maxAffected(10).maxAffected(20);
  EXPECT_EQ(prefer(query), "handling=strict,max-affected=20");
  query.select("id");
  EXPECT_EQ(prefer(query), "handling=strict,max-affected=20,return=representation");
}

TEST_F(TransformTest, ExplainNamesTheFormatTheOptionsAndTheEarlierAccept) {
  const auto accept = [](const RestBuilder& b) { return b.request().headers[http::HTTPField::Name::accept()]; };
  EXPECT_EQ(accept(builder().explain({.format = "json"})),
            "application/vnd.pgrst.plan+\"json\"; for=application/json; options=;");
  EXPECT_EQ(accept(builder().explain({.analyze = true, .verbose = true})),
            "application/vnd.pgrst.plan+\"text\"; for=application/json; options=analyze|verbose;");
  EXPECT_EQ(accept(builder().geojson().explain({.settings = true, .buffers = true, .wal = true})),
            "application/vnd.pgrst.plan+\"text\"; for=application/geo+json; options=settings|buffers|wal;");
}

}  // namespace
}  // namespace zirudeze::rest::testing
