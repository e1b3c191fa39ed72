#pragma once

#include <optional>
#include <string_view>

namespace zirudeze::realtime {

// The outcome of a push, the status of a reply, and the status of a legacy reply.
enum class PushStatus { ok, error, timeout };

// Exact, case-sensitive: "ok", "error", "timeout"; nothing for any other text.
std::optional<PushStatus> makePushStatus(std::string_view rawValue) noexcept;
std::string_view rawValue(PushStatus status) noexcept;

enum class RealtimeClientStatus { disconnected, connecting, connected };

// "Disconnected", "Connecting", "Connected".
std::string_view description(RealtimeClientStatus status) noexcept;

enum class RealtimeChannelStatus { unsubscribed, subscribing, subscribed, unsubscribing };

// What the heartbeat observers see: a heartbeat went out, was acknowledged ok, answered with another
// status, was never acknowledged, or was due while the client was not connected.
enum class HeartbeatStatus { sent, ok, error, timeout, disconnected };

// Sent to the server as the "log_level" query item.
enum class LogLevel { info, warn, error };

std::optional<LogLevel> makeLogLevel(std::string_view rawValue) noexcept;
std::string_view rawValue(LogLevel level) noexcept;

}  // namespace zirudeze::realtime
