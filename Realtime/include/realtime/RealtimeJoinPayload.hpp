#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "realtime/RealtimeMessageV2.hpp"

namespace zirudeze::realtime {

// Coded as its raw string: "INSERT", "UPDATE", "DELETE", "*".
enum class PostgresChangeEvent { insert, update, delete_, all };

std::optional<PostgresChangeEvent> makePostgresChangeEvent(std::string_view rawValue) noexcept;
std::string_view rawValue(PostgresChangeEvent event) noexcept;

struct ReplayOption {
  std::int64_t since = 0;
  std::optional<std::int64_t> limit;

  void encode(velmoria::base::Encoder& encoder) const;
  static ReplayOption decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const ReplayOption&, const ReplayOption&) = default;
};

struct BroadcastJoinConfig {
  bool acknowledgeBroadcasts = false;  // "ack"
  bool receiveOwnBroadcasts = false;   // "self"
  std::optional<ReplayOption> replay;

  void encode(velmoria::base::Encoder& encoder) const;
  static BroadcastJoinConfig decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const BroadcastJoinConfig&, const BroadcastJoinConfig&) = default;
};

struct PresenceJoinConfig {
  std::string key;
  bool enabled = false;

  void encode(velmoria::base::Encoder& encoder) const;
  static PresenceJoinConfig decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const PresenceJoinConfig&, const PresenceJoinConfig&) = default;
};

// One database-change subscription: as the client asks for it (id 0) or as the server accepted it.
struct PostgresJoinConfig {
  std::optional<PostgresChangeEvent> event;  // always written, null when absent
  std::string schema;
  std::optional<std::string> table;
  std::optional<std::string> filter;
  std::int64_t id = 0;  // written only when not 0, but required when read

  void encode(velmoria::base::Encoder& encoder) const;
  static PostgresJoinConfig decode(const velmoria::base::Decoder& decoder);

  // Same subscription: schema, table, filter and event equal; the id plays no part.
  friend bool operator==(const PostgresJoinConfig& lhs, const PostgresJoinConfig& rhs);
  std::size_t hashValue() const;
};

// Whether the server's accepted subscription serves the client's: schema, table and filter equal,
// and the events equal or the server's "*". Not symmetric.
bool matches(const PostgresJoinConfig& client, const PostgresJoinConfig& server);

struct RealtimeJoinConfig {
  BroadcastJoinConfig broadcast;
  PresenceJoinConfig presence;
  std::vector<PostgresJoinConfig> postgresChanges;
  bool isPrivate = false;  // "private"

  // Keys in the order broadcast, presence, private, postgres_changes.
  void encode(velmoria::base::Encoder& encoder) const;
  static RealtimeJoinConfig decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const RealtimeJoinConfig&, const RealtimeJoinConfig&) = default;
};

// The payload of "phx_join".
struct RealtimeJoinPayload {
  RealtimeJoinConfig config;
  std::optional<std::string> accessToken;
  std::optional<std::string> version;

  void encode(velmoria::base::Encoder& encoder) const;
  static RealtimeJoinPayload decode(const velmoria::base::Decoder& decoder);
};

// The subscriptions a join reply accepted: its payload's "response"."postgres_changes", read with the
// shared decoder ("id" required in each). Nothing when the reply carries no such list; throws
// velmoria::base::DecodingError when the list does not read.
std::optional<std::vector<PostgresJoinConfig>> acceptedPostgresChanges(const RealtimeMessageV2& reply);

}  // namespace zirudeze::realtime

template <>
struct std::hash<zirudeze::realtime::PostgresJoinConfig> {
  std::size_t operator()(const zirudeze::realtime::PostgresJoinConfig& config) const { return config.hashValue(); }
};

template <>
struct velmoria::base::Coding<zirudeze::realtime::PostgresChangeEvent> {
  static void encode(zirudeze::realtime::PostgresChangeEvent value, Encoder& encoder);
  static zirudeze::realtime::PostgresChangeEvent decode(const Decoder& decoder);
};
