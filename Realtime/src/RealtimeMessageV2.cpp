#include "realtime/RealtimeMessageV2.hpp"

#include <utility>

#include "HashCombine.hpp"
#include "JSONText.hpp"
#include "base/Unicode.hpp"
#include "base/coding/Coding.hpp"
#include "base/coding/JSONCoders.hpp"

namespace zirudeze::realtime {

namespace {

using helpers::AnyJSON;
using helpers::JSONObject;

// A member that holds nothing or null reads as absent; true when the member is a string or absent.
bool readOptionalString(const JSONObject& object, const char* key, std::optional<std::string>& out) {
  const auto it = object.find(key);
  if (it == object.end() || it->second.isNil()) return true;
  const std::string* text = it->second.stringValue();
  if (text == nullptr) return false;
  out = *text;
  return true;
}

bool readString(const JSONObject& object, const char* key, std::string& out) {
  const auto it = object.find(key);
  if (it == object.end()) return false;
  const std::string* text = it->second.stringValue();
  if (text == nullptr) return false;
  out = *text;
  return true;
}

// The common, valid frame read straight from the parsed value; nothing when anything is off, so the
// caller can take the document route that reports exactly what is wrong.
std::optional<RealtimeMessageV2> readValidFrame(std::string_view text) {
  std::optional<AnyJSON> parsed = AnyJSON::parse(text);
  if (!parsed) return std::nullopt;
  JSONObject* object = parsed->objectValue();
  if (object == nullptr) return std::nullopt;
  std::optional<std::string> joinRef;
  std::optional<std::string> ref;
  std::string topic;
  std::string event;
  if (!readOptionalString(*object, "join_ref", joinRef) || !readOptionalString(*object, "ref", ref) ||
      !readString(*object, "topic", topic) || !readString(*object, "event", event)) {
    return std::nullopt;
  }
  const auto payload = object->find("payload");
  if (payload == object->end() || payload->second.objectValue() == nullptr) return std::nullopt;
  return RealtimeMessageV2(std::move(joinRef), std::move(ref), std::move(topic), std::move(event),
                           std::move(*payload->second.objectValue()));
}

}  // namespace

RealtimeMessageV2::RealtimeMessageV2(std::optional<std::string> joinRef, std::optional<std::string> ref,
                                     std::string topic, std::string event, helpers::JSONObject payload)
    : joinRef_(std::move(joinRef)),
      ref_(std::move(ref)),
      topic_(std::move(topic)),
      event_(std::move(event)),
      payload_(std::move(payload)) {}

std::optional<RealtimeMessageV2::EventType> RealtimeMessageV2::eventType() const noexcept {
  if (event_ == "system") return EventType::system;
  if (event_ == "postgres_changes") return EventType::postgresChanges;
  if (event_ == "broadcast") return EventType::broadcast;
  if (event_ == "phx_close") return EventType::close;
  if (event_ == "phx_error") return EventType::error;
  if (event_ == "presence_diff") return EventType::presenceDiff;
  if (event_ == "presence_state") return EventType::presenceState;
  if (event_ == "phx_reply") return EventType::reply;
  return std::nullopt;
}

std::optional<PushStatus> RealtimeMessageV2::status() const noexcept {
  const auto it = payload_.find("status");
  if (it == payload_.end()) return std::nullopt;
  const std::string* text = it->second.stringValue();
  if (text == nullptr) return std::nullopt;
  return makePushStatus(*text);
}

void RealtimeMessageV2::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encodeIfPresent("join_ref", joinRef_);
  c.encodeIfPresent("ref", ref_);
  c.encode("topic", topic_);
  c.encode("event", event_);
  c.encode("payload", payload_);
}

RealtimeMessageV2 RealtimeMessageV2::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  auto joinRef = c.decodeIfPresent<std::string>("join_ref");
  auto ref = c.decodeIfPresent<std::string>("ref");
  auto topic = c.decode<std::string>("topic");
  auto event = c.decode<std::string>("event");
  auto payload = c.decode<JSONObject>("payload");
  return RealtimeMessageV2(std::move(joinRef), std::move(ref), std::move(topic), std::move(event), std::move(payload));
}

// The same text encode() gives through the coders, written directly: frames go out often.
std::string RealtimeMessageV2::frameText() const {
  std::string out;
  out.reserve(64 + topic_.size() + event_.size());
  out += '{';
  if (joinRef_) {
    out += "\"join_ref\":";
    detail::appendJSONString(out, *joinRef_);
    out += ',';
  }
  if (ref_) {
    out += "\"ref\":";
    detail::appendJSONString(out, *ref_);
    out += ',';
  }
  out += "\"topic\":";
  detail::appendJSONString(out, topic_);
  out += ",\"event\":";
  detail::appendJSONString(out, event_);
  out += ",\"payload\":";
  detail::appendJSON(out, payload_);
  out += '}';
  return out;
}

RealtimeMessageV2 RealtimeMessageV2::fromFrameText(std::string_view text) {
  if (auto message = readValidFrame(text)) return std::move(*message);
  return velmoria::base::JSONDecoder{}.decode<RealtimeMessageV2>(text);
}

bool operator==(const RealtimeMessageV2& lhs, const RealtimeMessageV2& rhs) {
  return lhs.joinRef_ == rhs.joinRef_ && lhs.ref_ == rhs.ref_ && lhs.topic_ == rhs.topic_ && lhs.event_ == rhs.event_ &&
         helpers::equalObjects(lhs.payload_, rhs.payload_);
}

std::size_t RealtimeMessageV2::hashValue() const {
  std::size_t seed = 0;
  detail::hashOptional(seed, joinRef_);
  detail::hashOptional(seed, ref_);
  detail::hashCombine(seed, std::hash<std::string>{}(topic_));
  detail::hashCombine(seed, std::hash<std::string>{}(event_));
  // Members are summed so that the order of keys plays no part, as in object equality.
  std::size_t members = 0;
  for (const auto& [key, value] : payload_) {
    std::size_t entry = velmoria::base::canonicalHash(key);
    detail::hashCombine(entry, value.hashValue());
    members += entry;
  }
  detail::hashCombine(seed, members);
  return seed;
}

}  // namespace zirudeze::realtime
