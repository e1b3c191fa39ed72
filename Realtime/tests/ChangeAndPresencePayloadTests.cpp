#include <gtest/gtest.h>

#include "WireTestSupport.hpp"
#include "base/coding/Coding.hpp"
#include "realtime/PostgresActions.hpp"
#include "realtime/PresenceV2.hpp"
#include "realtime/RealtimeError.hpp"

namespace zirudeze::realtime {
namespace {

using testing::object;

RealtimeMessageV2 changeMessage(std::string_view data, std::string_view ids = "[1]", std::string_view ref = "9") {
  return RealtimeMessageV2(
      std::nullopt, std::string(ref), "realtime:db", "postgres_changes",
      object(std::string(R"({"data":)") + std::string(data) + R"(,"ids":)" + std::string(ids) + "}"));
}

std::string columnsAnd(std::string_view rest) {
  return std::string(R"({"columns":[{"name":"id","type":"int8"}],"commit_timestamp":"2024-03-05T17:04:09.250Z",)") +
         std::string(rest) + "}";
}

struct Row {
  std::int64_t id = 0;
  std::string title;

  static Row decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    return {c.decode<std::int64_t>("id"), c.decode<std::string>("title")};
  }
};

TEST(PostgresChangeDecoding, DeleteCarriesTheOldRecordAndTheMessage) {
  const auto message = changeMessage(columnsAnd(R"("type":"DELETE","old_record":{"id":5})"), R"([1,"x",2.5,3])");
  const auto change = decodePostgresChange(message);
  const auto* removed = change.action.as<DeleteAction>();
  ASSERT_NE(removed, nullptr);
  EXPECT_TRUE(helpers::equalObjects(removed->oldRecord, object(R"({"id":5})")));
  EXPECT_EQ(removed->rawMessage, message);
  EXPECT_EQ(change.action.rawMessage(), message);
  EXPECT_EQ(change.ids, (std::vector<std::int64_t>{1, 3}));
  EXPECT_EQ(removed->columns, (std::vector<Column>{{"id", "int8"}}));
  EXPECT_EQ(removed->commitTimestamp, velmoria::base::Date(std::chrono::milliseconds(1709658249250)));
}

TEST(PostgresChangeDecoding, MissingRecordsBecomeEmptyObjects) {
  const auto update = decodePostgresChange(changeMessage(columnsAnd(R"("type":"UPDATE","record":{"id":1})")));
  const auto* updated = update.action.as<UpdateAction>();
  ASSERT_NE(updated, nullptr);
  EXPECT_TRUE(updated->oldRecord.empty());
  EXPECT_EQ(updated->record.size(), 1u);
  const auto insert = decodePostgresChange(changeMessage(columnsAnd(R"("type":"INSERT","record":null)")));
  ASSERT_NE(insert.action.as<InsertAction>(), nullptr);
  EXPECT_TRUE(insert.action.as<InsertAction>()->record.empty());
  EXPECT_TRUE(decodePostgresChange(changeMessage(columnsAnd(R"("type":"INSERT")"), R"("all")")).ids.empty());
}

TEST(PostgresChangeDecoding, TimestampsReadWithAndWithoutFractionButNotDateOnly) {
  const auto at = [](std::string_view stamp) {
    return changeMessage(std::string(R"({"type":"INSERT","columns":[],"commit_timestamp":")") + std::string(stamp) +
                         R"("})");
  };
  EXPECT_NO_THROW(decodePostgresChange(at("2024-03-05T17:04:09Z")));
  EXPECT_NO_THROW(decodePostgresChange(at("2024-03-05T17:04:09.123456+00:00")));
  try {
    decodePostgresChange(at("2024-03-05"));
    FAIL() << "a date without a time decoded";
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(error.debugDescription(), "Invalid date format: 2024-03-05");
  }
}

TEST(PostgresChangeDecoding, UnknownTypesAndMissingDataAreRealtimeErrors) {
  try {
    decodePostgresChange(changeMessage(columnsAnd(R"("type":"insert")")));
    FAIL() << "a lower-case type was accepted";
  } catch (const RealtimeError& error) {
    EXPECT_EQ(error.errorDescription(), "Unknown event type: insert");
  }
  const RealtimeMessageV2 noData(std::nullopt, std::nullopt, "realtime:db", "postgres_changes",
                                 object(R"({"ids":[1]})"));
  try {
    decodePostgresChange(noData);
    FAIL() << "a change without data was accepted";
  } catch (const RealtimeError& error) {
    EXPECT_EQ(error.localizedDescription(), "Expected \"data\" key in message payload.");
  }
  EXPECT_THROW(decodePostgresChange(changeMessage(R"({"type":"INSERT","commit_timestamp":"2024-03-05T17:04:09Z"})")),
               velmoria::base::DecodingError);
  EXPECT_THROW(decodePostgresChange(changeMessage(R"("text")")), velmoria::base::DecodingError);
}

TEST(PostgresActionEquality, TheRawMessageAndTheKindCount) {
  const auto data = columnsAnd(R"("type":"INSERT","record":{"id":1})");
  const auto first = decodePostgresChange(changeMessage(data, "[1]", "1")).action;
  const auto again = decodePostgresChange(changeMessage(data, "[1]", "1")).action;
  const auto otherRef = decodePostgresChange(changeMessage(data, "[1]", "2")).action;
  EXPECT_EQ(first, again);
  EXPECT_NE(first, otherRef);
  const auto update =
      decodePostgresChange(changeMessage(columnsAnd(R"("type":"UPDATE","record":{"id":1})"), "[1]", "1"));
  EXPECT_NE(first, update.action);
  static_assert(PostgresAction<InsertAction> && PostgresAction<AnyAction> && HasRecord<UpdateAction> &&
                HasOldRecord<DeleteAction> && !HasRecord<DeleteAction>);
  EXPECT_EQ(AnyAction::eventType, PostgresChangeEvent::all);
}

TEST(PostgresActionRecords, DecodeIntoTheCallersType) {
  const auto change = decodePostgresChange(
      changeMessage(columnsAnd(R"("type":"UPDATE","record":{"id":2,"title":"new"},"old_record":{"id":2})")));
  const auto& update = *change.action.as<UpdateAction>();
  const Row row = decodeRecord<Row>(update);
  EXPECT_EQ(row.id, 2);
  EXPECT_EQ(row.title, "new");
  EXPECT_THROW(decodeOldRecord<Row>(update), velmoria::base::DecodingError);
}

std::optional<velmoria::base::DecodingError> presenceError(std::string_view entry) {
  return testing::decodingError<PresenceV2>(entry);
}

TEST(PresenceDecoding, TheFirstMetaGivesRefAndState) {
  const auto presence =
      testing::decoded<PresenceV2>(R"({"metas":[{"phx_ref":"F1","user_id":7},{"phx_ref":"F2","user_id":8}],"x":1})");
  EXPECT_EQ(presence.ref, "F1");
  EXPECT_TRUE(helpers::equalObjects(presence.state, object(R"({"user_id":7})")));
  EXPECT_EQ(testing::encoded(presence), R"({"phx_ref":"F1","state":{"user_id":7}})");
}

TEST(PresenceDecoding, AnEntryWithoutARefFailsAtTheMetasPath) {
  for (const char* entry : {R"({"metas":[]})", R"({})", R"({"metas":[5]})", R"({"metas":{"phx_ref":"a"}})"}) {
    const auto error = presenceError(entry);
    ASSERT_TRUE(error) << entry;
    EXPECT_EQ(error->kind(), velmoria::base::DecodingError::Kind::typeMismatch);
    EXPECT_EQ(error->debugDescription(), "A presence should at least have a phx_ref.");
    EXPECT_EQ(testing::pathText(error->codingPath()), "metas/Index 0") << entry;
  }
  const auto numberRef = presenceError(R"({"metas":[{"phx_ref":1}]})");
  ASSERT_TRUE(numberRef);
  EXPECT_EQ(testing::pathText(numberRef->codingPath()), "metas/Index 0/phx_ref");
  EXPECT_EQ(numberRef->subject(), "String");
  EXPECT_TRUE(presenceError(R"(["metas"])"));
}

TEST(PresenceActions, StateAndDiffMessagesBecomeJoinsAndLeaves) {
  const RealtimeMessageV2 state(std::nullopt, std::nullopt, "realtime:a", "presence_state",
                                object(R"({"u1":{"metas":[{"phx_ref":"a","n":1}]},"u2":{"metas":[{"phx_ref":"b"}]}})"));
  const auto joined = presenceStateAction(state);
  EXPECT_EQ(joined.joins.size(), 2u);
  EXPECT_TRUE(joined.leaves.empty());
  EXPECT_EQ(joined.rawMessage, state);

  const RealtimeMessageV2 diff(std::nullopt, std::nullopt, "realtime:a", "presence_diff",
                               object(R"({"leaves":{"u1":{"metas":[{"phx_ref":"a"}]}}})"));
  const auto left = presenceDiffAction(diff);
  EXPECT_TRUE(left.joins.empty());
  ASSERT_EQ(left.leaves.count("u1"), 1u);
  EXPECT_EQ(left.leaves.at("u1").ref, "a");

  const RealtimeMessageV2 broken(std::nullopt, std::nullopt, "realtime:a", "presence_state",
                                 object(R"({"u1":{"metas":[{"phx_ref":"a"}]},"u2":{"metas":[]}})"));
  try {
    presenceStateAction(broken);
    FAIL() << "a broken entry was accepted";
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(testing::pathText(error.codingPath()), "u2/metas/Index 0");
  }
}

struct Member {
  std::string name;
  static Member decode(const velmoria::base::Decoder& decoder) {
    return {decoder.container().decode<std::string>("name")};
  }
};

TEST(PresenceActions, JoinsDecodeIntoTheCallersTypeSkippingOthersOnRequest) {
  const RealtimeMessageV2 state(
      std::nullopt, std::nullopt, "realtime:a", "presence_state",
      object(R"({"a":{"metas":[{"phx_ref":"1","name":"Ana"}]},"b":{"metas":[{"phx_ref":"2","age":3}]},)"
             R"("c":{"metas":[{"phx_ref":"3","name":"Cy"}]}})"));
  const auto action = presenceStateAction(state);
  const auto members = decodeJoins<Member>(action, true);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].name, "Ana");
  EXPECT_EQ(members[1].name, "Cy");
  EXPECT_THROW(decodeJoins<Member>(action, false), velmoria::base::DecodingError);
  EXPECT_TRUE(decodeLeaves<Member>(action, false).empty());
  EXPECT_EQ(decodeState<Member>(action.joins.at("c")).name, "Cy");
}

}  // namespace
}  // namespace zirudeze::realtime
