#include "realtime/legacy/RealtimeMessage.hpp"

#include <array>

#include "issuereporting/DebugRender.hpp"
#include "realtime/legacy/Defaults.hpp"

namespace zirudeze::realtime {

namespace {

std::string optionalText(const std::optional<std::string>& text) {
  return text ? "Optional(" + issuereporting::quotedText(*text) + ")" : "nil";
}

}  // namespace

std::optional<RealtimeMessage> RealtimeMessage::fromJSON(const helpers::AnyJSON& json) {
  const helpers::JSONArray* elements = json.arrayValue();
  if (elements == nullptr || elements->size() < 5) return std::nullopt;
  const auto& items = *elements;
  const std::string* topic = items[2].stringValue();
  const std::string* event = items[3].stringValue();
  const helpers::JSONObject* payload = items[4].objectValue();
  if (topic == nullptr || event == nullptr || payload == nullptr) return std::nullopt;
  RealtimeMessage message;
  if (const std::string* joinRef = items[0].stringValue()) message.joinRef = *joinRef;
  if (const std::string* ref = items[1].stringValue()) message.ref = *ref;
  message.topic = *topic;
  message.event = *event;
  message.rawPayload = *payload;
  return message;
}

const helpers::JSONObject& RealtimeMessage::payload() const {
  const auto response = rawPayload.find("response");
  if (response != rawPayload.end()) {
    if (const helpers::JSONObject* object = response->second.objectValue()) return *object;
  }
  return rawPayload;
}

std::optional<PushStatus> RealtimeMessage::status() const {
  const auto found = rawPayload.find("status");
  if (found == rawPayload.end()) return std::nullopt;
  const std::string* text = found->second.stringValue();
  return text ? makePushStatus(*text) : std::nullopt;
}

std::string RealtimeMessage::description() const {
  return "RealtimeMessage(ref: " + issuereporting::quotedText(ref) + ", joinRef: " + optionalText(joinRef) +
         ", topic: " + issuereporting::quotedText(topic) + ", event: " + issuereporting::quotedText(event) +
         ", rawPayload: " + describe(helpers::AnyJSON(rawPayload)) + ")";
}

bool ChannelEvent::isLifecycleEvent(std::string_view event) noexcept {
  return event == join || event == leave || event == reply || event == error || event == close;
}

std::optional<ChannelState> makeChannelState(std::string_view rawValue) noexcept {
  static constexpr std::array<std::string_view, 5> names{"closed", "errored", "joined", "joining", "leaving"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == rawValue) return static_cast<ChannelState>(i);
  }
  return std::nullopt;
}

std::string_view rawValue(ChannelState state) noexcept {
  switch (state) {
    case ChannelState::closed:
      return "closed";
    case ChannelState::errored:
      return "errored";
    case ChannelState::joined:
      return "joined";
    case ChannelState::joining:
      return "joining";
    case ChannelState::leaving:
      return "leaving";
  }
  return "closed";
}

}  // namespace zirudeze::realtime
