#include "realtime/PostgresActions.hpp"

#include <optional>
#include <utility>

#include "base/coding/Coding.hpp"
#include "helpers/ISO8601Date.hpp"
#include "realtime/RealtimeError.hpp"

namespace zirudeze::realtime {

using helpers::AnyJSON;
using helpers::equalObjects;
using helpers::JSONObject;

namespace {

// An optional record: absent or null is none; anything but an object spoils the fast reading.
bool readRecord(const JSONObject& object, const char* key, std::optional<JSONObject>& out) {
  const auto found = object.find(key);
  if (found == object.end() || found->second.isNil()) return true;
  const JSONObject* record = found->second.objectValue();
  if (record == nullptr) return false;
  out = *record;
  return true;
}

// The common, valid change record read straight from its values; nothing when anything is off, so that
// the coder route reports exactly what is wrong. Changes arrive often.
std::optional<PostgresActionData> readValidChange(const AnyJSON& value) {
  const JSONObject* object = value.objectValue();
  if (object == nullptr) return std::nullopt;
  PostgresActionData data;
  const auto type = object->find("type");
  if (type == object->end() || type->second.stringValue() == nullptr) return std::nullopt;
  data.type = *type->second.stringValue();
  if (!readRecord(*object, "record", data.record) || !readRecord(*object, "old_record", data.oldRecord)) {
    return std::nullopt;
  }
  const auto columns = object->find("columns");
  if (columns == object->end() || columns->second.arrayValue() == nullptr) return std::nullopt;
  data.columns.reserve(columns->second.arrayValue()->size());
  for (const auto& column : *columns->second.arrayValue()) {
    const JSONObject* fields = column.objectValue();
    if (fields == nullptr) return std::nullopt;
    const auto name = fields->find("name");
    const auto kind = fields->find("type");
    if (name == fields->end() || kind == fields->end() || name->second.stringValue() == nullptr ||
        kind->second.stringValue() == nullptr) {
      return std::nullopt;
    }
    data.columns.push_back({*name->second.stringValue(), *kind->second.stringValue()});
  }
  const auto timestamp = object->find("commit_timestamp");
  if (timestamp == object->end() || timestamp->second.stringValue() == nullptr) return std::nullopt;
  const auto date = helpers::parseISO8601Date(*timestamp->second.stringValue());
  if (!date) return std::nullopt;
  data.commitTimestamp = *date;
  return data;
}

}  // namespace

void Column::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("name", name);
  c.encode("type", type);
}

Column Column::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<std::string>("name"), c.decode<std::string>("type")};
}

void PostgresActionData::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("type", type);
  c.encodeIfPresent("record", record);
  c.encodeIfPresent("old_record", oldRecord);
  c.encode("columns", columns);
  c.encode("commit_timestamp", commitTimestamp);
}

PostgresActionData PostgresActionData::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  PostgresActionData data;
  data.type = c.decode<std::string>("type");
  data.record = c.decodeIfPresent<JSONObject>("record");
  data.oldRecord = c.decodeIfPresent<JSONObject>("old_record");
  data.columns = c.decode<std::vector<Column>>("columns");
  data.commitTimestamp = c.decode<velmoria::base::Date>("commit_timestamp");
  return data;
}

bool operator==(const InsertAction& lhs, const InsertAction& rhs) {
  return lhs.columns == rhs.columns && lhs.commitTimestamp == rhs.commitTimestamp &&
         equalObjects(lhs.record, rhs.record) && lhs.rawMessage == rhs.rawMessage;
}

bool operator==(const UpdateAction& lhs, const UpdateAction& rhs) {
  return lhs.columns == rhs.columns && lhs.commitTimestamp == rhs.commitTimestamp &&
         equalObjects(lhs.record, rhs.record) && equalObjects(lhs.oldRecord, rhs.oldRecord) &&
         lhs.rawMessage == rhs.rawMessage;
}

bool operator==(const DeleteAction& lhs, const DeleteAction& rhs) {
  return lhs.columns == rhs.columns && lhs.commitTimestamp == rhs.commitTimestamp &&
         equalObjects(lhs.oldRecord, rhs.oldRecord) && lhs.rawMessage == rhs.rawMessage;
}

const RealtimeMessageV2& AnyAction::rawMessage() const noexcept {
  return std::visit([](const auto& action) -> const RealtimeMessageV2& { return action.rawMessage; }, value_);
}

PostgresChange decodePostgresChange(const RealtimeMessageV2& message) {
  const JSONObject& payload = message.payload();
  const auto data = payload.find("data");
  if (data == payload.end()) throw RealtimeError("Expected \"data\" key in message payload.");
  std::optional<PostgresActionData> fast = readValidChange(data->second);
  PostgresActionData change =
      fast ? std::move(*fast) : data->second.decode<PostgresActionData>(helpers::JSONDecoder::shared());

  std::vector<std::int64_t> ids;
  if (const auto found = payload.find("ids"); found != payload.end()) {
    if (const helpers::JSONArray* list = found->second.arrayValue()) {
      for (const auto& element : *list) {
        if (const auto id = element.intValue()) ids.push_back(*id);
      }
    }
  }

  JSONObject record = change.record ? std::move(*change.record) : JSONObject();
  JSONObject oldRecord = change.oldRecord ? std::move(*change.oldRecord) : JSONObject();
  if (change.type == "UPDATE") {
    return {UpdateAction{std::move(change.columns), change.commitTimestamp, std::move(record), std::move(oldRecord),
                         message},
            std::move(ids)};
  }
  if (change.type == "INSERT") {
    return {InsertAction{std::move(change.columns), change.commitTimestamp, std::move(record), message},
            std::move(ids)};
  }
  if (change.type == "DELETE") {
    return {DeleteAction{std::move(change.columns), change.commitTimestamp, std::move(oldRecord), message},
            std::move(ids)};
  }
  throw RealtimeError("Unknown event type: " + change.type);
}

}  // namespace zirudeze::realtime
