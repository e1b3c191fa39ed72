#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Coding.hpp"
#include "base/Date.hpp"
#include "testsupport/FakeDatabase.hpp"

namespace velmoria::testsupport {

// A row of the app's sessions table, decoded the way the app decodes it: every column it requires, dates
// through the database client's decoder. Tests and benchmarks of the layers below the app read rows with it.
struct SessionRow {
  std::string id;
  std::string userID;
  std::string date;
  base::Date startedAt;
  std::optional<base::Date> endedAt;
  std::int64_t durationSeconds = 0;
  std::optional<std::string> source;
  std::optional<std::string> modeID;

  static SessionRow decode(const base::Decoder& decoder) {
    const auto container = decoder.container();
    SessionRow row;
    row.id = container.decode<std::string>("id");
    row.userID = container.decode<std::string>("user_id");
    row.date = container.decode<std::string>("date");
    row.startedAt = container.decode<base::Date>("started_at");
    row.endedAt = container.decodeIfPresent<base::Date>("ended_at");
    row.durationSeconds = container.decode<std::int64_t>("duration_seconds");
    row.source = container.decodeIfPresent<std::string>("source");
    row.modeID = container.decodeIfPresent<std::string>("mode_id");
    return row;
  }
};

// The backend's sessions and modes tables as the phone app writes them.
inline void createAppTables(FakeDatabase& database) {
  database.createTable(
      {.name = "sessions",
       .columns =
           {{.name = "id", .type = ColumnType::uuid, .nullable = false, .defaultValue = &FakeDatabase::randomUUID},
            {.name = "user_id", .type = ColumnType::uuid, .nullable = false},
            {.name = "date", .type = ColumnType::text, .nullable = false},
            {.name = "started_at", .type = ColumnType::timestamp, .nullable = false},
            {.name = "ended_at", .type = ColumnType::timestamp},
            {.name = "duration_seconds", .type = ColumnType::integer},
            {.name = "source", .type = ColumnType::text},
            {.name = "mode_id", .type = ColumnType::uuid}},
       .primaryKey = {"id"}});
  database.createTable({.name = "modes",
                        .columns = {{.name = "id", .type = ColumnType::uuid, .nullable = false},
                                    {.name = "name", .type = ColumnType::text},
                                    {.name = "block_on_mac", .type = ColumnType::boolean}},
                        .primaryKey = {"id"}});
}

}  // namespace velmoria::testsupport
