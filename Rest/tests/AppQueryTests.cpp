// The two reads the desktop app makes, exactly as the service sees them.
#include "RestTestSupport.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::rest::testing {
namespace {

class AppQueryTest : public RestTest {
 protected:
  AppQueryTest() {
    const std::string user = "5b1f3c7e-2a4d-4e8f-9c1b-0d2e3f4a5b6c";
    database.insert("sessions", Json::array({
                                    {{"id", "00000000-0000-4000-8000-000000000001"},
                                     {"user_id", user},
                                     {"date", "2024-05-01"},
                                     {"started_at", "2024-05-01T08:00:00Z"},
                                     {"duration_seconds", 1500},
                                     {"mode_id", kModeID}},
                                    {{"id", "00000000-0000-4000-8000-000000000002"},
                                     {"user_id", user},
                                     {"date", "2024-05-01"},
                                     {"started_at", "2024-05-01T09:00:00+02:00"},
                                     {"duration_seconds", 1500},
                                     {"mode_id", kModeID}},
                                    {{"id", "00000000-0000-4000-8000-000000000003"},
                                     {"user_id", user},
                                     {"date", "2024-05-01"},
                                     {"started_at", "2024-05-01T11:00:00Z"},
                                     {"ended_at", "2024-05-01T11:30:00Z"},
                                     {"duration_seconds", 1800}},
                                    {{"id", "00000000-0000-4000-8000-000000000004"},
                                     {"user_id", "11111111-2222-4333-8444-555555555555"},
                                     {"date", "2024-05-01"},
                                     {"started_at", "2024-05-01T12:00:00Z"},
                                     {"duration_seconds", 60}},
                                }));
    database.insert("modes", Json{{"id", kModeID}, {"name", "Deep work"}, {"block_on_mac", false}});
  }
};

TEST_F(AppQueryTest, SessionQueryFindsTheNewestOpenSessionWithTheExactWireForm) {
  const auto user = *velmoria::base::UUID::fromString(kUserID);
  const auto response = client()
                            .from("sessions")
                            .select("*")
                            .eq("user_id", user)
                            .is("ended_at", std::nullopt)
                            .order("started_at", {.ascending = false})
                            .limit(1)
                            .execute<std::vector<SessionRow>>();

  ASSERT_EQ(response.value.size(), 1u);
  EXPECT_EQ(response.value[0].id, "00000000-0000-4000-8000-000000000001");
  EXPECT_EQ(response.value[0].modeID, kModeID);
  EXPECT_EQ(response.status(), 200);

  const RecordedRequest request = backend.lastRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.path, "/rest/v1/sessions");
  EXPECT_EQ(request.rawQuery, std::string("select=%2A&user_id=eq.") + kUserID +
                                  "&ended_at=is.NULL&order=started_at.desc.nullslast&limit=1");
  EXPECT_EQ(request.header("Accept"), "application/json");
  EXPECT_EQ(request.header("Content-Type"), "application/json");
  EXPECT_EQ(request.header("X-Client-Info"), "rest-cpp/2.41.1");
  EXPECT_FALSE(request.header("Prefer"));
  EXPECT_FALSE(request.header("Accept-Profile"));
  EXPECT_FALSE(request.header("Content-Profile"));
  EXPECT_TRUE(request.body.empty());
}

TEST_F(AppQueryTest, ModeQueryReadsOneFlag) {
  const auto response =
      client().from("modes").select("block_on_mac").eq("id", kModeID).limit(1).execute<std::vector<helpers::AnyJSON>>();
  ASSERT_EQ(response.value.size(), 1u);
  EXPECT_EQ(response.value[0], helpers::AnyJSON::object({{"block_on_mac", false}}));
  EXPECT_EQ(backend.lastRequest().rawQuery, std::string("select=block_on_mac&id=eq.") + kModeID + "&limit=1");
}

TEST_F(AppQueryTest, ProfileHeadersOnlyWithASchemaAndByMethod) {
  database.createTable({.name = "notes", .columns = {{.name = "body"}}, .schema = "private"});
  auto privateClient = client("private");

  privateClient.from("notes").select("*").executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().header("Accept-Profile"), "private");
  EXPECT_FALSE(backend.lastRequest().header("Content-Profile"));

  privateClient.from("notes").select("*").executeDiscardingValue({.head = true});
  EXPECT_EQ(backend.lastRequest().method, "HEAD");
  EXPECT_EQ(backend.lastRequest().header("Accept-Profile"), "private");

  privateClient.from("notes").insert(Json{{"body", "x"}}).executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().header("Content-Profile"), "private");
  EXPECT_FALSE(backend.lastRequest().header("Accept-Profile"));
  EXPECT_EQ(database.rows("notes", "private").size(), 1u);
}

TEST_F(AppQueryTest, OperandsReachTheServiceUnchangedAndEncodedOnce) {
  const std::string operand = "a&b=c+d,(e) f/ü";
  database.insert("sessions", Json{{"user_id", kUserID}, {"date", operand}, {"started_at", "2024-05-02T08:00:00Z"}});

  const auto response = client().from("sessions").select("date").eq("date", operand).execute<helpers::AnyJSON>();
  EXPECT_EQ(response.value, helpers::AnyJSON::array({helpers::AnyJSON::object({{"date", operand}})}));
  const RecordedRequest request = backend.lastRequest();
  EXPECT_EQ(request.queryValue("date"), "eq." + operand);
  EXPECT_NE(request.rawQuery.find("date=eq.a%26b%3Dc%2Bd%2C%28e%29%20f/%C3%BC"), std::string::npos);
}

}  // namespace
}  // namespace zirudeze::rest::testing
