#include "velmoria/SessionModel.hpp"

namespace velmoria {

void SessionModel::encode(base::Encoder& encoder) const {
  auto container = encoder.container();
  container.encode("id", id);
  container.encode("user_id", userID);
  container.encode("date", date);
  container.encode("started_at", startedAt);
  container.encodeIfPresent("ended_at", endedAt);
  container.encode("duration_seconds", durationSeconds);
  container.encodeIfPresent("source", source);
  container.encodeIfPresent("mode_id", modeID);
}

SessionModel SessionModel::decode(const base::Decoder& decoder) {
  const auto container = decoder.container();
  SessionModel row;
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

}  // namespace velmoria
