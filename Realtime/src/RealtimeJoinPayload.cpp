#include "realtime/RealtimeJoinPayload.hpp"

#include "HashCombine.hpp"
#include "base/coding/Coding.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::realtime {

namespace {

constexpr std::pair<PostgresChangeEvent, std::string_view> kEventNames[] = {
    {PostgresChangeEvent::insert, "INSERT"},
    {PostgresChangeEvent::update, "UPDATE"},
    {PostgresChangeEvent::delete_, "DELETE"},
    {PostgresChangeEvent::all, "*"},
};

}  // namespace

std::optional<PostgresChangeEvent> makePostgresChangeEvent(std::string_view rawValue) noexcept {
  for (const auto& [event, name] : kEventNames) {
    if (name == rawValue) return event;
  }
  return std::nullopt;
}

std::string_view rawValue(PostgresChangeEvent event) noexcept { return velmoria::base::rawValueOf(event, kEventNames); }

void ReplayOption::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("since", since);
  c.encodeIfPresent("limit", limit);
}

ReplayOption ReplayOption::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<std::int64_t>("since"), c.decodeIfPresent<std::int64_t>("limit")};
}

void BroadcastJoinConfig::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("ack", acknowledgeBroadcasts);
  c.encode("self", receiveOwnBroadcasts);
  c.encodeIfPresent("replay", replay);
}

BroadcastJoinConfig BroadcastJoinConfig::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<bool>("ack"), c.decode<bool>("self"), c.decodeIfPresent<ReplayOption>("replay")};
}

void PresenceJoinConfig::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("key", key);
  c.encode("enabled", enabled);
}

PresenceJoinConfig PresenceJoinConfig::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<std::string>("key"), c.decode<bool>("enabled")};
}

void PostgresJoinConfig::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("event", event);
  c.encode("schema", schema);
  c.encodeIfPresent("table", table);
  c.encodeIfPresent("filter", filter);
  if (id != 0) c.encode("id", id);
}

PostgresJoinConfig PostgresJoinConfig::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  PostgresJoinConfig config;
  config.event = c.decodeIfPresent<PostgresChangeEvent>("event");
  config.schema = c.decode<std::string>("schema");
  config.table = c.decodeIfPresent<std::string>("table");
  config.filter = c.decodeIfPresent<std::string>("filter");
  config.id = c.decode<std::int64_t>("id");
  return config;
}

bool operator==(const PostgresJoinConfig& lhs, const PostgresJoinConfig& rhs) {
  return lhs.schema == rhs.schema && lhs.table == rhs.table && lhs.filter == rhs.filter && lhs.event == rhs.event;
}

bool matches(const PostgresJoinConfig& client, const PostgresJoinConfig& server) {
  return client.schema == server.schema && client.table == server.table && client.filter == server.filter &&
         (client.event == server.event || server.event == PostgresChangeEvent::all);
}

std::size_t PostgresJoinConfig::hashValue() const {
  std::size_t seed = std::hash<std::string>{}(schema);
  detail::hashOptional(seed, table);
  detail::hashOptional(seed, filter);
  detail::hashCombine(seed, event ? 1 : 0);
  if (event) detail::hashCombine(seed, std::hash<std::string_view>{}(rawValue(*event)));
  return seed;
}

void RealtimeJoinConfig::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("broadcast", broadcast);
  c.encode("presence", presence);
  c.encode("private", isPrivate);
  c.encode("postgres_changes", postgresChanges);
}

RealtimeJoinConfig RealtimeJoinConfig::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  RealtimeJoinConfig config;
  config.broadcast = c.decode<BroadcastJoinConfig>("broadcast");
  config.presence = c.decode<PresenceJoinConfig>("presence");
  config.postgresChanges = c.decode<std::vector<PostgresJoinConfig>>("postgres_changes");
  config.isPrivate = c.decode<bool>("private");
  return config;
}

void RealtimeJoinPayload::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("config", config);
  c.encodeIfPresent("access_token", accessToken);
  c.encodeIfPresent("version", version);
}

RealtimeJoinPayload RealtimeJoinPayload::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<RealtimeJoinConfig>("config"), c.decodeIfPresent<std::string>("access_token"),
          c.decodeIfPresent<std::string>("version")};
}

std::optional<std::vector<PostgresJoinConfig>> acceptedPostgresChanges(const RealtimeMessageV2& reply) {
  const auto response = reply.payload().find("response");
  if (response == reply.payload().end()) return std::nullopt;
  const helpers::JSONObject* object = response->second.objectValue();
  if (object == nullptr) return std::nullopt;
  const auto changes = object->find("postgres_changes");
  if (changes == object->end()) return std::nullopt;
  return changes->second.decode<std::vector<PostgresJoinConfig>>(helpers::JSONDecoder::shared());
}

}  // namespace zirudeze::realtime

void velmoria::base::Coding<zirudeze::realtime::PostgresChangeEvent>::encode(
    zirudeze::realtime::PostgresChangeEvent value, Encoder& encoder) {
  encoder.json() = std::string(zirudeze::realtime::rawValue(value));
}

zirudeze::realtime::PostgresChangeEvent velmoria::base::Coding<zirudeze::realtime::PostgresChangeEvent>::decode(
    const Decoder& decoder) {
  return decodeRawValue(decoder, "PostgresChangeEvent", zirudeze::realtime::kEventNames);
}
