#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "helpers/AnyJSON.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

// One message of the legacy socket. On the wire it is the array [join_ref, ref, topic, event, payload].
struct RealtimeMessage {
  std::string ref;
  std::optional<std::string> joinRef;
  std::string topic;
  std::string event;
  helpers::JSONObject rawPayload;

  // From a decoded array: at least five elements, a string topic and event and an object payload; a
  // join ref that is not a string is absent, a ref that is not a string is "". Nothing otherwise.
  static std::optional<RealtimeMessage> fromJSON(const helpers::AnyJSON& json);

  // The raw payload's "response" object when it has one, else the raw payload.
  const helpers::JSONObject& payload() const;
  // The raw payload's "status" when it is exactly "ok", "error" or "timeout".
  std::optional<PushStatus> status() const;

  // The type name and every field with its value, for log lines.
  std::string description() const;

  friend bool operator==(const RealtimeMessage&, const RealtimeMessage&) = default;
};

// The event names of the legacy protocol.
struct ChannelEvent {
  static constexpr std::string_view heartbeat = "heartbeat";
  static constexpr std::string_view join = "phx_join";
  static constexpr std::string_view leave = "phx_leave";
  static constexpr std::string_view close = "phx_close";
  static constexpr std::string_view error = "phx_error";
  static constexpr std::string_view reply = "phx_reply";
  static constexpr std::string_view system = "system";
  static constexpr std::string_view broadcast = "broadcast";
  static constexpr std::string_view accessToken = "access_token";
  static constexpr std::string_view presence = "presence";
  static constexpr std::string_view presenceDiff = "presence_diff";
  static constexpr std::string_view presenceState = "presence_state";
  static constexpr std::string_view postgresChanges = "postgres_changes";

  // Join, leave, reply, error and close: the events a stale join reference makes outdated.
  static bool isLifecycleEvent(std::string_view event) noexcept;
};

enum class ChannelState { closed, errored, joined, joining, leaving };

// "closed", "errored", "joined", "joining", "leaving"; nothing for any other text.
std::optional<ChannelState> makeChannelState(std::string_view rawValue) noexcept;
std::string_view rawValue(ChannelState state) noexcept;

}  // namespace zirudeze::realtime
