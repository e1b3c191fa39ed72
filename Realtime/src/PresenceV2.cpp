#include "realtime/PresenceV2.hpp"

#include <utility>

#include "HashCombine.hpp"
#include "base/coding/Coding.hpp"

namespace zirudeze::realtime {

namespace {

using helpers::AnyJSON;
using helpers::JSONObject;

constexpr const char* kMissingRef = "A presence should at least have a phx_ref.";

velmoria::base::DecodingError missingRef(const velmoria::base::Decoder& decoder, bool atRef) {
  velmoria::base::CodingPath path = decoder.codingPath();
  path.push_back({"metas", std::nullopt});
  path.push_back(velmoria::base::CodingKey::index(0));
  if (atRef) path.push_back({"phx_ref", std::nullopt});
  return velmoria::base::DecodingError::typeMismatch(atRef ? "String" : "Dictionary<String, AnyJSON>",
                                                     {path, kMissingRef});
}

std::map<std::string, PresenceV2> decodePresences(const AnyJSON& value) {
  return value.decode<std::map<std::string, PresenceV2>>(helpers::JSONDecoder::shared());
}

}  // namespace

void PresenceV2::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("phx_ref", ref);
  c.encode("state", state);
}

PresenceV2 PresenceV2::decode(const velmoria::base::Decoder& decoder) {
  JSONObject entry = decoder.decode<JSONObject>();
  const auto metas = entry.find("metas");
  if (metas == entry.end()) throw missingRef(decoder, false);
  helpers::JSONArray* list = metas->second.arrayValue();
  if (list == nullptr || list->empty() || list->front().objectValue() == nullptr) throw missingRef(decoder, false);
  JSONObject& first = *list->front().objectValue();
  const auto ref = first.find("phx_ref");
  if (ref == first.end() || ref->second.stringValue() == nullptr) throw missingRef(decoder, true);
  PresenceV2 presence{*ref->second.stringValue(), {}};
  first.erase(ref);
  presence.state = std::move(first);
  return presence;
}

bool operator==(const PresenceV2& lhs, const PresenceV2& rhs) {
  return lhs.ref == rhs.ref && helpers::equalObjects(lhs.state, rhs.state);
}

std::size_t PresenceV2::hashValue() const {
  std::size_t seed = std::hash<std::string>{}(ref);
  detail::hashCombine(seed, AnyJSON(state).hashValue());
  return seed;
}

PresenceActionImpl presenceStateAction(const RealtimeMessageV2& message) {
  return {decodePresences(AnyJSON(message.payload())), {}, message};
}

PresenceActionImpl presenceDiffAction(const RealtimeMessageV2& message) {
  const JSONObject& payload = message.payload();
  const auto joins = payload.find("joins");
  const auto leaves = payload.find("leaves");
  return {joins == payload.end() ? std::map<std::string, PresenceV2>() : decodePresences(joins->second),
          leaves == payload.end() ? std::map<std::string, PresenceV2>() : decodePresences(leaves->second), message};
}

}  // namespace zirudeze::realtime
