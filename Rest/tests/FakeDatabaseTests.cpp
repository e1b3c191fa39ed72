// The fake backend's database, which later suites rely on: typed comparisons, ordering, counts, writes.
#include "RestTestSupport.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/HTTPFieldsBridging.hpp"

namespace zirudeze::rest::testing {
namespace {

using velmoria::testsupport::FakeDatabaseError;

struct RawAnswer {
  int status = 0;
  Json body;
  std::optional<std::string> contentRange;
};

class FakeDatabaseTest : public RestTest {
 protected:
  FakeDatabaseTest() {
    database.insert("sessions", Json::array({
                                    {{"id", "aaaaaaaa-0000-4000-8000-000000000001"},
                                     {"user_id", kUserID},
                                     {"date", "a"},
                                     {"started_at", "2024-05-01T08:00:00Z"},
                                     {"duration_seconds", 10}},
                                    {{"id", "aaaaaaaa-0000-4000-8000-000000000002"},
                                     {"user_id", kUserID},
                                     {"date", "b"},
                                     {"started_at", "2024-05-01T09:30:00+02:00"}},
                                    {{"id", "aaaaaaaa-0000-4000-8000-000000000003"},
                                     {"user_id", kUserID},
                                     {"date", "c"},
                                     {"started_at", "2024-05-01T07:00:00.5Z"},
                                     {"duration_seconds", 30}},
                                }));
  }

  RawAnswer send(const std::string& method, const std::string& pathAndQuery,
                 std::vector<std::pair<std::string, std::string>> headers = {}, std::optional<std::string> body = {}) {
    helpers::HTTPClient http(helpers::HTTPClient::defaultFetch(), {});
    auto request =
        *helpers::HTTPRequest::make(backend.url("/rest/v1/" + pathAndQuery),
                                    *helpers::HTTPRequest::Method::make(method), {}, helpers::fieldsFromPairs(headers));
    if (body) request.body = velmoria::base::dataFromString(*body);
    const auto response = http.send(request);
    RawAnswer answer{response.statusCode, Json(), response.underlyingResponse.value("Content-Range")};
    if (!response.data.empty()) answer.body = Json::parse(velmoria::base::stringFromData(response.data));
    return answer;
  }
  std::vector<std::string> dates(const RawAnswer& answer) {
    std::vector<std::string> found;
    for (const auto& row : answer.body) found.push_back(row["date"].get<std::string>());
    return found;
  }
};

TEST_F(FakeDatabaseTest, UUIDsCompareWithoutCaseAndComeBackLowerCase) {
  const auto upper = send("GET", "sessions?select=id,user_id&id=eq.AAAAAAAA-0000-4000-8000-000000000002");
  ASSERT_EQ(upper.body.size(), 1u);
  EXPECT_EQ(upper.body[0]["user_id"], "5b1f3c7e-2a4d-4e8f-9c1b-0d2e3f4a5b6c");
  EXPECT_EQ(send("GET", "sessions?id=eq.not-a-uuid").body["code"], "22P02");
}

TEST_F(FakeDatabaseTest, TimestampsCompareAsInstantsAndNullsSortAsAsked) {
  EXPECT_EQ(dates(send("GET", "sessions?order=started_at.desc")), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(dates(send("GET", "sessions?started_at=gt.2024-05-01T09:45:00%2B02:00")), std::vector<std::string>{"a"});
  EXPECT_EQ(send("GET", "sessions?id=eq.aaaaaaaa-0000-4000-8000-000000000002").body[0]["started_at"],
            "2024-05-01T07:30:00+00:00");
  EXPECT_EQ(dates(send("GET", "sessions?order=duration_seconds.desc.nullslast")),
            (std::vector<std::string>{"c", "a", "b"}));
  EXPECT_EQ(dates(send("GET", "sessions?order=duration_seconds.desc")), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(dates(send("GET", "sessions?order=duration_seconds.asc.nullsfirst,date.desc")),
            (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(dates(send("GET", "sessions?duration_seconds=neq.10")), std::vector<std::string>{"c"});
  EXPECT_EQ(dates(send("GET", "sessions?duration_seconds=not.eq.10")), std::vector<std::string>{"c"});
  EXPECT_EQ(dates(send("GET", "sessions?duration_seconds=is.null")), std::vector<std::string>{"b"});
}

TEST_F(FakeDatabaseTest, RangesAndCountsInContentRange) {
  EXPECT_EQ(send("GET", "sessions?order=date&limit=2&offset=1", {{"Prefer", "count=exact"}}).contentRange, "1-2/3");
  EXPECT_EQ(send("GET", "sessions?limit=2").contentRange, "0-1/*");
  EXPECT_EQ(send("GET", "sessions?date=eq.none", {{"Prefer", "count=planned"}}).contentRange, "*/0");
  const auto head = send("HEAD", "sessions", {{"Prefer", "count=exact"}});
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.body.is_null());
  EXPECT_EQ(head.contentRange, "0-2/3");
}

TEST_F(FakeDatabaseTest, LogicTreesListsAndPatterns) {
  EXPECT_EQ(dates(send("GET", "sessions?or=(date.eq.a,and(duration_seconds.gt.20,date.like.*c))&order=date")),
            (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(dates(send("GET", "sessions?date=in.(%22b%22,c)&order=date")), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(dates(send("GET", "sessions?date=ilike.A")), std::vector<std::string>{"a"});
  EXPECT_EQ(dates(send("GET", "sessions?not.or=(date.eq.a,date.eq.b)")), std::vector<std::string>{"c"});
  EXPECT_EQ(send("GET", "sessions?date=fts.a").status, 400);
  EXPECT_EQ(send("GET", "sessions?nope=eq.1").body["code"], "42703");
}

TEST_F(FakeDatabaseTest, SingleObjectsSchemasAndTables) {
  const auto one = send("GET", "sessions?date=eq.a", {{"Accept", "application/vnd.pgrst.object+json"}});
  EXPECT_EQ(one.body["date"], "a");
  EXPECT_EQ(send("GET", "sessions", {{"Accept", "application/vnd.pgrst.object+json"}}).body["code"], "PGRST116");
  EXPECT_EQ(send("GET", "sessions", {{"Accept-Profile", "nope"}}).status, 406);
  EXPECT_EQ(send("GET", "sessions", {{"Accept-Profile", "private"}}).body["code"], "42P01");
  EXPECT_EQ(send("GET", "sessions", {{"Content-Profile", "nope"}}).status, 200);
}

TEST_F(FakeDatabaseTest, WritesAreTypedKeyedAndAllOrNothing) {
  const auto created = send("POST", "sessions", {{"Prefer", "return=representation"}},
                            R"([{"user_id":")" + std::string(kUserID) + R"(","date":"d","started_at":"2024-05-02"}])");
  EXPECT_EQ(created.status, 201);
  EXPECT_EQ(created.body[0]["started_at"], "2024-05-02T00:00:00+00:00");
  EXPECT_EQ(created.body[0]["id"].get<std::string>().size(), 36u);

  const std::string duplicate =
      R"([{"id":"aaaaaaaa-0000-4000-8000-000000000009","user_id":")" + std::string(kUserID) +
      R"(","date":"e","started_at":"2024-05-02"},{"id":"AAAAAAAA-0000-4000-8000-000000000001",)"
      R"("user_id":")" +
      std::string(kUserID) + R"(","date":"f","started_at":"2024-05-02"}])";
  EXPECT_EQ(send("POST", "sessions", {}, duplicate).status, 409);
  EXPECT_EQ(database.rows("sessions").size(), 4u);
  EXPECT_EQ(send("POST", "sessions", {}, R"({"date":"x","started_at":"2024-05-02"})").body["code"], "23502");
  EXPECT_EQ(send("POST", "sessions", {}, R"({"user_id":1})").body["code"], "22P02");
  EXPECT_EQ(send("POST", "sessions", {}, R"({"colour":1})").body["code"], "PGRST204");

  const auto strict = send("PATCH", "sessions?user_id=eq." + std::string(kUserID),
                           {{"Prefer", "handling=strict,max-affected=2"}}, R"({"source":"phone"})");
  EXPECT_EQ(strict.body["code"], "PGRST124");
  const auto patched = send("PATCH", "sessions?date=eq.a", {{"Prefer", "count=exact"}}, R"({"source":"phone"})");
  EXPECT_EQ(patched.status, 204);
  EXPECT_EQ(patched.contentRange, "0-0/1");
  EXPECT_EQ(database.rows("sessions")[0]["source"], "phone");
  EXPECT_EQ(database.rows("sessions")[1]["source"], nullptr);
  EXPECT_EQ(send("DELETE", "sessions?date=in.(a,b)", {{"Prefer", "return=representation"}}).body.size(), 2u);
  EXPECT_EQ(database.rows("sessions").size(), 2u);
}

TEST_F(FakeDatabaseTest, UpsertsResolveOnTheNamedColumnsAndColumnsLimitTheKeysTaken) {
  database.createTable(
      {.name = "tags",
       .columns = {{.name = "id", .type = ColumnType::integer}, {.name = "slug", .nullable = false}, {.name = "label"}},
       .primaryKey = {"id"}});
  database.insert("tags", Json{{"id", 1}, {"slug", "deep"}, {"label", "Deep"}});
  const std::string row = R"({"id":2,"slug":"deep","label":"Focus"})";
  EXPECT_EQ(send("POST", "tags?on_conflict=slug", {{"Prefer", "resolution=ignore-duplicates"}}, row).status, 201);
  EXPECT_EQ(database.rows("tags").size(), 1u);
  const auto merged = send("POST", "tags?on_conflict=slug&columns=id,slug,label",
                           {{"Prefer", "resolution=merge-duplicates,return=representation"}},
                           R"({"id":1,"slug":"deep","label":"Focus","colour":"red"})");
  EXPECT_EQ(merged.body, Json::parse(R"([{"id":1,"slug":"deep","label":"Focus"}])"));
  EXPECT_EQ(send("POST", "tags?columns=slug", {}, R"({"id":3,"slug":"new"})").body["code"], "23502");
  EXPECT_EQ(send("POST", "tags?on_conflict=nope", {}, row).body["code"], "42703");
}

TEST_F(FakeDatabaseTest, SeedingChecksRowsLikeAWrite) {
  EXPECT_THROW(database.insert("sessions", Json{{"date", "x"}}), FakeDatabaseError);
  EXPECT_THROW(database.insert("nowhere", Json::object()), FakeDatabaseError);
  EXPECT_THROW(database.createTable({.name = "sessions"}), std::invalid_argument);
  EXPECT_THROW(database.createTable({.name = "t", .columns = {{.name = "a"}}, .primaryKey = {"b"}}),
               std::invalid_argument);
  const Json stored = database.insert("modes", Json{{"id", "ABCDEF00-0000-4000-8000-000000000000"}});
  EXPECT_EQ(stored, Json::parse(R"([{"id":"abcdef00-0000-4000-8000-000000000000","name":null,"block_on_mac":null}])"));
  database.removeAllRows("modes");
  EXPECT_TRUE(database.rows("modes").empty());
}

}  // namespace
}  // namespace zirudeze::rest::testing
