#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/Date.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/SharedJSONCoders.hpp"
#include "realtime/RealtimeJoinPayload.hpp"
#include "realtime/RealtimeMessageV2.hpp"

namespace zirudeze::realtime {

struct Column {
  std::string name;
  std::string type;

  void encode(velmoria::base::Encoder& encoder) const;
  static Column decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const Column&, const Column&) = default;
};

// The change record under a "postgres_changes" payload's "data".
struct PostgresActionData {
  std::string type;
  std::optional<helpers::JSONObject> record;
  std::optional<helpers::JSONObject> oldRecord;  // "old_record"
  std::vector<Column> columns;
  velmoria::base::Date commitTimestamp;  // "commit_timestamp", by the coder's date rule

  void encode(velmoria::base::Encoder& encoder) const;
  static PostgresActionData decode(const velmoria::base::Decoder& decoder);
};

struct InsertAction {
  static constexpr PostgresChangeEvent eventType = PostgresChangeEvent::insert;

  std::vector<Column> columns;
  velmoria::base::Date commitTimestamp;
  helpers::JSONObject record;
  RealtimeMessageV2 rawMessage;

  friend bool operator==(const InsertAction& lhs, const InsertAction& rhs);
};

struct UpdateAction {
  static constexpr PostgresChangeEvent eventType = PostgresChangeEvent::update;

  std::vector<Column> columns;
  velmoria::base::Date commitTimestamp;
  helpers::JSONObject record;
  helpers::JSONObject oldRecord;
  RealtimeMessageV2 rawMessage;

  friend bool operator==(const UpdateAction& lhs, const UpdateAction& rhs);
};

struct DeleteAction {
  static constexpr PostgresChangeEvent eventType = PostgresChangeEvent::delete_;

  std::vector<Column> columns;
  velmoria::base::Date commitTimestamp;
  helpers::JSONObject oldRecord;
  RealtimeMessageV2 rawMessage;

  friend bool operator==(const DeleteAction& lhs, const DeleteAction& rhs);
};

// Any one of the three; equal only to the same kind with equal fields.
class AnyAction {
 public:
  static constexpr PostgresChangeEvent eventType = PostgresChangeEvent::all;

  AnyAction(InsertAction action) : value_(std::move(action)) {}
  AnyAction(UpdateAction action) : value_(std::move(action)) {}
  AnyAction(DeleteAction action) : value_(std::move(action)) {}

  const std::variant<InsertAction, UpdateAction, DeleteAction>& value() const noexcept { return value_; }
  template <class Action>
  const Action* as() const noexcept {
    return std::get_if<Action>(&value_);
  }
  const RealtimeMessageV2& rawMessage() const noexcept;

  friend bool operator==(const AnyAction&, const AnyAction&) = default;

 private:
  std::variant<InsertAction, UpdateAction, DeleteAction> value_;
};

template <class T>
concept HasRawMessage = requires(const T& value) {
  { value.rawMessage } -> std::convertible_to<const RealtimeMessageV2&>;
}
|| requires(const T& value) {
  { value.rawMessage() } -> std::convertible_to<const RealtimeMessageV2&>;
};

template <class T>
concept HasRecord = requires(const T& value) {
  { value.record } -> std::convertible_to<const helpers::JSONObject&>;
};

template <class T>
concept HasOldRecord = requires(const T& value) {
  { value.oldRecord } -> std::convertible_to<const helpers::JSONObject&>;
};

// An action type that stands for one change kind of the join configuration.
template <class T>
concept PostgresAction = HasRawMessage<T> && requires {
  { T::eventType } -> std::convertible_to<PostgresChangeEvent>;
};

// The record as the caller's own type, through the coder: throws the decoder's error.
template <class T, HasRecord Action>
T decodeRecord(const Action& action, const velmoria::base::JSONDecoder& decoder = helpers::JSONDecoder::shared()) {
  return helpers::decodeJSONObject<T>(action.record, decoder);
}

template <class T, HasOldRecord Action>
T decodeOldRecord(const Action& action, const velmoria::base::JSONDecoder& decoder = helpers::JSONDecoder::shared()) {
  return helpers::decodeJSONObject<T>(action.oldRecord, decoder);
}

// A received change: the action and the subscription ids it matches.
struct PostgresChange {
  AnyAction action;
  std::vector<std::int64_t> ids;
};

// Builds the action of a "postgres_changes" message: "data" read with the shared decoder, "ids"
// keeping their integer elements. Throws RealtimeError for a missing "data" or a type other than
// "INSERT", "UPDATE", "DELETE", and velmoria::base::DecodingError when "data" does not read.
PostgresChange decodePostgresChange(const RealtimeMessageV2& message);

}  // namespace zirudeze::realtime
