#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

// One frame of the current realtime protocol. Immutable once built.
class RealtimeMessageV2 {
 public:
  // Never encoded; `tokenExpired` is never produced by classification.
  enum class EventType {
    system,
    postgresChanges,
    broadcast,
    close,
    error,
    presenceDiff,
    presenceState,
    tokenExpired,
    reply
  };

  RealtimeMessageV2(std::optional<std::string> joinRef, std::optional<std::string> ref, std::string topic,
                    std::string event, helpers::JSONObject payload);

  const std::optional<std::string>& joinRef() const noexcept { return joinRef_; }
  const std::optional<std::string>& ref() const noexcept { return ref_; }
  const std::string& topic() const noexcept { return topic_; }
  const std::string& event() const noexcept { return event_; }
  const helpers::JSONObject& payload() const noexcept { return payload_; }

  // The event string classified exactly and case-sensitively; nothing for an unknown event.
  std::optional<EventType> eventType() const noexcept;
  // The payload's "status" member when it is one of "ok", "error", "timeout".
  std::optional<PushStatus> status() const noexcept;
  const RealtimeMessageV2& rawMessage() const noexcept { return *this; }

  // Keys in the order join_ref, ref, topic, event, payload; absent refs write no key.
  void encode(velmoria::base::Encoder& encoder) const;
  // A null ref reads as absent; keys other than the five are ignored.
  static RealtimeMessageV2 decode(const velmoria::base::Decoder& decoder);

  // The frame as the client writes it: compact JSON text.
  std::string frameText() const;
  // Reads one frame's text; throws velmoria::base::DecodingError as decode() would.
  static RealtimeMessageV2 fromFrameText(std::string_view text);

  friend bool operator==(const RealtimeMessageV2& lhs, const RealtimeMessageV2& rhs);
  std::size_t hashValue() const;

 private:
  std::optional<std::string> joinRef_;
  std::optional<std::string> ref_;
  std::string topic_;
  std::string event_;
  helpers::JSONObject payload_;
};

}  // namespace zirudeze::realtime

template <>
struct std::hash<zirudeze::realtime::RealtimeMessageV2> {
  std::size_t operator()(const zirudeze::realtime::RealtimeMessageV2& message) const { return message.hashValue(); }
};
