#include "realtime/legacy/ChannelTypes.hpp"

namespace zirudeze::realtime {

helpers::JSONObject RealtimeChannelOptions::params() const {
  return {{"config", helpers::JSONObject{
                         {"presence", helpers::JSONObject{{"key", presenceKey.value_or("")}}},
                         {"broadcast", helpers::JSONObject{{"ack", broadcastAcknowledge}, {"self", broadcastSelf}}},
                     }}};
}

std::optional<RealtimeListenTypes> makeRealtimeListenTypes(std::string_view rawValue) noexcept {
  if (rawValue == "postgres_changes") return RealtimeListenTypes::postgresChanges;
  if (rawValue == "broadcast") return RealtimeListenTypes::broadcast;
  if (rawValue == "presence") return RealtimeListenTypes::presence;
  return std::nullopt;
}

std::string_view rawValue(RealtimeListenTypes type) noexcept {
  switch (type) {
    case RealtimeListenTypes::postgresChanges:
      return "postgres_changes";
    case RealtimeListenTypes::broadcast:
      return "broadcast";
    case RealtimeListenTypes::presence:
      return "presence";
  }
  return "broadcast";
}

std::map<std::string, std::string> ChannelFilter::asDictionary() const {
  std::map<std::string, std::string> dictionary;
  if (event) dictionary.emplace("event", *event);
  if (schema) dictionary.emplace("schema", *schema);
  if (table) dictionary.emplace("table", *table);
  if (filter) dictionary.emplace("filter", *filter);
  return dictionary;
}

}  // namespace zirudeze::realtime
