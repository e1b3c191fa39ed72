#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "helpers/AnyJSON.hpp"
#include "realtime/legacy/Delegated.hpp"
#include "realtime/legacy/RealtimeMessage.hpp"

namespace zirudeze::realtime {

// What a legacy channel is made with; its params are {"config": {"presence": {"key"}, "broadcast": {"ack",
// "self"}}}.
struct RealtimeChannelOptions {
  std::optional<std::string> presenceKey;
  bool broadcastSelf = false;
  bool broadcastAcknowledge = false;

  helpers::JSONObject params() const;
};

// The first argument of a subscribe callback.
enum class RealtimeSubscribeStates { subscribed, timedOut, closed, channelError };

// The outcome of a typed send.
enum class ChannelResponse { ok, timedOut, error };

enum class RealtimeListenTypes { postgresChanges, broadcast, presence };

// "postgres_changes", "broadcast", "presence" (exact); nothing for other text.
std::optional<RealtimeListenTypes> makeRealtimeListenTypes(std::string_view rawValue) noexcept;
std::string_view rawValue(RealtimeListenTypes type) noexcept;

// What a binding listens for besides its event; its dictionary holds the entries that are present.
struct ChannelFilter {
  std::optional<std::string> event;
  std::optional<std::string> schema;
  std::optional<std::string> table;
  std::optional<std::string> filter;

  std::map<std::string, std::string> asDictionary() const;
};

// One registered event callback of a channel.
struct Binding {
  std::string type;  // the event, lower-cased
  std::map<std::string, std::string> filter;
  Delegated<void(const RealtimeMessage&)> callback;
  // The server's id of a database-change binding, once a join reply assigned one.
  std::optional<std::string> id;
};

}  // namespace zirudeze::realtime
