#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/SharedJSONCoders.hpp"
#include "realtime/PostgresActions.hpp"
#include "realtime/RealtimeMessageV2.hpp"

namespace zirudeze::realtime {

// One member of a channel as presence reports it: the first meta of its entry.
struct PresenceV2 {
  std::string ref;            // the first meta's "phx_ref"
  helpers::JSONObject state;  // the first meta without "phx_ref"

  // Writes {"phx_ref": ref, "state": state}, which is not the shape decode() reads.
  void encode(velmoria::base::Encoder& encoder) const;
  // Reads a presence entry {"metas": [{"phx_ref": "...", ...}, ...]}; fails with a type mismatch
  // "A presence should at least have a phx_ref." at the path of "metas", 0 (and "phx_ref").
  static PresenceV2 decode(const velmoria::base::Decoder& decoder);

  friend bool operator==(const PresenceV2& lhs, const PresenceV2& rhs);
  std::size_t hashValue() const;
};

template <class T>
T decodeState(const PresenceV2& presence, const velmoria::base::JSONDecoder& decoder = helpers::JSONDecoder::shared()) {
  return helpers::decodeJSONObject<T>(presence.state, decoder);
}

// Joins and leaves keyed by presence key.
struct PresenceActionImpl {
  std::map<std::string, PresenceV2> joins;
  std::map<std::string, PresenceV2> leaves;
  RealtimeMessageV2 rawMessage;
};

template <class T>
concept PresenceAction = HasRawMessage<T> && requires(const T& action) {
  { action.joins } -> std::convertible_to<const std::map<std::string, PresenceV2>&>;
  { action.leaves } -> std::convertible_to<const std::map<std::string, PresenceV2>&>;
};

}  // namespace zirudeze::realtime

namespace zirudeze::realtime::detail {
template <class T>
std::vector<T> decodeStates(const std::map<std::string, PresenceV2>& presences, bool ignoreOtherTypes,
                            const velmoria::base::JSONDecoder& decoder) {
  std::vector<T> states;
  states.reserve(presences.size());
  for (const auto& [key, presence] : presences) {
    if (!ignoreOtherTypes) {
      states.push_back(decodeState<T>(presence, decoder));
      continue;
    }
    try {
      states.push_back(decodeState<T>(presence, decoder));
    } catch (const std::exception&) {
    }
  }
  return states;
}
}  // namespace zirudeze::realtime::detail

namespace zirudeze::realtime {

// The states of every join as the caller's type, in key order. With `ignoreOtherTypes` a state that
// does not decode is left out; without it the first failure is thrown.
template <class T, PresenceAction Action>
std::vector<T> decodeJoins(const Action& action, bool ignoreOtherTypes = true,
                           const velmoria::base::JSONDecoder& decoder = helpers::JSONDecoder::shared()) {
  return detail::decodeStates<T>(action.joins, ignoreOtherTypes, decoder);
}

template <class T, PresenceAction Action>
std::vector<T> decodeLeaves(const Action& action, bool ignoreOtherTypes = true,
                            const velmoria::base::JSONDecoder& decoder = helpers::JSONDecoder::shared()) {
  return detail::decodeStates<T>(action.leaves, ignoreOtherTypes, decoder);
}

// A "presence_state" message: its whole payload is the map of joins. Throws velmoria::base::DecodingError.
PresenceActionImpl presenceStateAction(const RealtimeMessageV2& message);
// A "presence_diff" message: its "joins" and "leaves" maps, each empty when missing.
PresenceActionImpl presenceDiffAction(const RealtimeMessageV2& message);

}  // namespace zirudeze::realtime

template <>
struct std::hash<zirudeze::realtime::PresenceV2> {
  std::size_t operator()(const zirudeze::realtime::PresenceV2& presence) const { return presence.hashValue(); }
};
