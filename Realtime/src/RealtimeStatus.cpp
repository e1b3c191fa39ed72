#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

std::optional<PushStatus> makePushStatus(std::string_view rawValue) noexcept {
  if (rawValue == "ok") return PushStatus::ok;
  if (rawValue == "error") return PushStatus::error;
  if (rawValue == "timeout") return PushStatus::timeout;
  return std::nullopt;
}

std::string_view rawValue(PushStatus status) noexcept {
  switch (status) {
    case PushStatus::ok:
      return "ok";
    case PushStatus::error:
      return "error";
    case PushStatus::timeout:
      return "timeout";
  }
  return {};
}

std::string_view description(RealtimeClientStatus status) noexcept {
  switch (status) {
    case RealtimeClientStatus::disconnected:
      return "Disconnected";
    case RealtimeClientStatus::connecting:
      return "Connecting";
    case RealtimeClientStatus::connected:
      return "Connected";
  }
  return {};
}

std::optional<LogLevel> makeLogLevel(std::string_view rawValue) noexcept {
  if (rawValue == "info") return LogLevel::info;
  if (rawValue == "warn") return LogLevel::warn;
  if (rawValue == "error") return LogLevel::error;
  return std::nullopt;
}

std::string_view rawValue(LogLevel level) noexcept {
  switch (level) {
    case LogLevel::info:
      return "info";
    case LogLevel::warn:
      return "warn";
    case LogLevel::error:
      return "error";
  }
  return {};
}

}  // namespace zirudeze::realtime
