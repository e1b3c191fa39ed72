#include <unordered_set>

#include <gtest/gtest.h>

#include "WireTestSupport.hpp"
#include "realtime/RealtimeJoinPayload.hpp"

namespace zirudeze::realtime {
namespace {

using testing::decoded;
using testing::decodingError;
using testing::encoded;

PostgresJoinConfig change(std::optional<PostgresChangeEvent> event, std::int64_t id = 0) {
  return {event, "public", "messages", "room_id=eq.1", id};
}

TEST(PostgresJoinConfigCoding, AnEmptySubscriptionWritesEventNullAndSchemaOnly) {
  const PostgresJoinConfig config{std::nullopt, "public", std::nullopt, std::nullopt, 0};
  EXPECT_EQ(encoded(config), R"({"event":null,"schema":"public"})");
}

TEST(PostgresJoinConfigCoding, IdIsWrittenWhenSetAndRequiredWhenRead) {
  EXPECT_EQ(encoded(change(PostgresChangeEvent::insert, 7)),
            R"({"event":"INSERT","schema":"public","table":"messages","filter":"room_id=eq.1","id":7})");
  const auto missingId = decodingError<PostgresJoinConfig>(R"({"event":"*","schema":"public"})");
  ASSERT_TRUE(missingId);
  EXPECT_EQ(missingId->kind(), velmoria::base::DecodingError::Kind::keyNotFound);
  const auto read = decoded<PostgresJoinConfig>(R"({"event":"DELETE","schema":"s","table":null,"id":12})");
  EXPECT_EQ(read.event, PostgresChangeEvent::delete_);
  EXPECT_EQ(read.table, std::nullopt);
  EXPECT_EQ(read.id, 12);
  EXPECT_EQ(decoded<PostgresJoinConfig>(R"({"event":null,"schema":"s","id":1})").event, std::nullopt);
}

TEST(PostgresJoinConfigCoding, EventsReadOnlyInTheirExactSpelling) {
  EXPECT_EQ(decoded<PostgresJoinConfig>(R"({"event":"*","schema":"s","id":1})").event, PostgresChangeEvent::all);
  EXPECT_TRUE(decodingError<PostgresJoinConfig>(R"({"event":"insert","schema":"s","id":1})"));
  EXPECT_TRUE(decodingError<PostgresJoinConfig>(R"({"event":"ALL","schema":"s","id":1})"));
  EXPECT_EQ(makePostgresChangeEvent("UPDATE"), PostgresChangeEvent::update);
  EXPECT_EQ(makePostgresChangeEvent("update"), std::nullopt);
  EXPECT_EQ(rawValue(PostgresChangeEvent::all), "*");
}

TEST(PostgresJoinConfigMatching, ServerWildcardServesEveryClientEventButNotTheReverse) {
  EXPECT_TRUE(matches(change(PostgresChangeEvent::insert), change(PostgresChangeEvent::all)));
  EXPECT_TRUE(matches(change(std::nullopt), change(PostgresChangeEvent::all)));
  EXPECT_FALSE(matches(change(PostgresChangeEvent::all), change(PostgresChangeEvent::delete_)));
  EXPECT_TRUE(matches(change(PostgresChangeEvent::update, 0), change(PostgresChangeEvent::update, 9)));
  EXPECT_FALSE(matches(change(PostgresChangeEvent::update), change(PostgresChangeEvent::insert)));
  auto otherTable = change(PostgresChangeEvent::all);
  otherTable.table = "rooms";
  EXPECT_FALSE(matches(change(PostgresChangeEvent::insert), otherTable));
  auto noFilter = change(PostgresChangeEvent::all);
  noFilter.filter.reset();
  EXPECT_FALSE(matches(change(PostgresChangeEvent::insert), noFilter));
}

TEST(PostgresJoinConfigEquality, IgnoresIdAndIsSymmetric) {
  EXPECT_EQ(change(PostgresChangeEvent::insert, 1), change(PostgresChangeEvent::insert, 2));
  EXPECT_EQ(change(PostgresChangeEvent::insert, 1).hashValue(), change(PostgresChangeEvent::insert, 2).hashValue());
  EXPECT_NE(change(PostgresChangeEvent::insert), change(PostgresChangeEvent::all));
  EXPECT_NE(change(PostgresChangeEvent::all), change(PostgresChangeEvent::insert));
  const std::unordered_set<PostgresJoinConfig> set = {
      change(PostgresChangeEvent::insert, 1), change(PostgresChangeEvent::insert, 2), change(PostgresChangeEvent::all)};
  EXPECT_EQ(set.size(), 2u);
}

TEST(RealtimeJoinConfigCoding, WritesKeysInOrderWithAnEmptyChangeList) {
  RealtimeJoinConfig config;
  EXPECT_EQ(encoded(config),
            R"({"broadcast":{"ack":false,"self":false},"presence":{"key":"","enabled":false},"private":false,)"
            R"("postgres_changes":[]})");
  config.broadcast.replay = ReplayOption{1700000000, std::nullopt};
  config.postgresChanges.push_back(change(PostgresChangeEvent::insert));
  EXPECT_EQ(encoded(config.broadcast), R"({"ack":false,"self":false,"replay":{"since":1700000000}})");
  config.broadcast.replay->limit = 25;
  EXPECT_EQ(encoded(*config.broadcast.replay), R"({"since":1700000000,"limit":25})");
  // Written configs read back when the subscriptions carry their ids.
  config.postgresChanges.front().id = 3;
  EXPECT_EQ(decoded<RealtimeJoinConfig>(encoded(config)), config);
}

TEST(RealtimeJoinPayloadCoding, TokenAndVersionAreWrittenOnlyWhenPresent) {
  RealtimeJoinPayload payload{RealtimeJoinConfig{}, std::nullopt, std::nullopt};
  EXPECT_EQ(velmoria::base::JSONEncoder{}.encodeToJson(payload).size(), 1u);
  payload.accessToken = "token";
  payload.version = "vededore-dorod/2.41.1";
  const auto written = velmoria::base::JSONEncoder{}.encodeToJson(payload);
  EXPECT_EQ(written["access_token"], "token");
  EXPECT_EQ(written["version"], "vededore-dorod/2.41.1");
  EXPECT_EQ(written.begin().key(), "config");
  const auto read = decoded<RealtimeJoinPayload>(encoded(payload));
  EXPECT_EQ(read.accessToken, "token");
  EXPECT_TRUE(decodingError<RealtimeJoinPayload>(R"({"access_token":"t"})"));
}

TEST(JoinReplySubscriptions, AcceptedChangesAreReadFromTheResponse) {
  const auto reply = [](std::string_view payload) {
    return RealtimeMessageV2("1", "1", "realtime:a", "phx_reply", testing::object(payload));
  };
  const auto accepted = acceptedPostgresChanges(reply(
      R"({"status":"ok","response":{"postgres_changes":[{"event":"*","schema":"public","table":"t","id":41}]}})"));
  ASSERT_TRUE(accepted);
  ASSERT_EQ(accepted->size(), 1u);
  EXPECT_EQ(accepted->front().id, 41);
  EXPECT_EQ(accepted->front().event, PostgresChangeEvent::all);
  EXPECT_EQ(acceptedPostgresChanges(reply(R"({"status":"ok","response":{}})")), std::nullopt);
  EXPECT_EQ(acceptedPostgresChanges(reply(R"({"status":"ok"})")), std::nullopt);
  EXPECT_THROW(acceptedPostgresChanges(reply(R"({"response":{"postgres_changes":[{"schema":"public"}]}})")),
               velmoria::base::DecodingError);
}

}  // namespace
}  // namespace zirudeze::realtime
