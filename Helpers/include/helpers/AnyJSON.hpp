#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/coding/JSONCoders.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::helpers {

class AnyJSON;

// The payload of an object value: text keys to values, keys unique, order of no meaning.
using JSONObject = std::map<std::string, AnyJSON>;
using JSONArray = std::vector<AnyJSON>;

// A JSON value whose shape is not known in advance.
class AnyJSON {
 public:
  // In declaration order, which is part of the hash; a trailing "_" where the case name is a keyword.
  enum class Kind : std::uint8_t { null, bool_, integer, double_, string, object, array };

  // Deeper nesting in outside input fails with a data-corrupted error instead of exhausting the stack.
  static constexpr std::size_t kMaxDepth = 512;

  AnyJSON() noexcept = default;
  AnyJSON(std::nullptr_t) noexcept {}
  AnyJSON(bool value) noexcept : storage_(value) {}
  template <class T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
           (std::is_signed_v<T> || sizeof(T) < sizeof(std::int64_t))) AnyJSON(T value)
  noexcept : storage_(static_cast<std::int64_t>(value)) {}
  // An unsigned value beyond the signed 64-bit range becomes a double, as it does when decoded.
  template <class T>
  requires(std::is_integral_v<T>&& std::is_unsigned_v<T> && sizeof(T) == sizeof(std::uint64_t)) AnyJSON(T value)
  noexcept {
    if (value <= static_cast<T>(std::numeric_limits<std::int64_t>::max()))
      storage_ = static_cast<std::int64_t>(value);
    else
      storage_ = static_cast<double>(value);
  }
  AnyJSON(double value) noexcept : storage_(value) {}
  AnyJSON(float value) noexcept : storage_(static_cast<double>(value)) {}
  AnyJSON(std::string value) noexcept : storage_(std::move(value)) {}
  AnyJSON(std::string_view value) : storage_(std::string(value)) {}
  AnyJSON(const char* value) : storage_(std::string(value)) {}
  AnyJSON(char value) : storage_(std::string(1, value)) {}
  AnyJSON(JSONObject value) noexcept : storage_(std::move(value)) {}
  AnyJSON(JSONArray value) noexcept : storage_(std::move(value)) {}

  // Literals: AnyJSON::array({1, "a"}), AnyJSON::object({{"k", 1}}). A repeated key in an object
  // literal is a programming error and stops the program.
  static AnyJSON array(std::initializer_list<AnyJSON> elements);
  static AnyJSON object(std::initializer_list<std::pair<std::string, AnyJSON>> entries);

  Kind kind() const noexcept { return static_cast<Kind>(storage_.index()); }

  bool isNil() const noexcept { return kind() == Kind::null; }
  std::optional<bool> boolValue() const noexcept;
  std::optional<std::int64_t> intValue() const noexcept;
  std::optional<double> doubleValue() const noexcept;
  const std::string* stringValue() const noexcept { return std::get_if<std::string>(&storage_); }
  const JSONObject* objectValue() const noexcept { return std::get_if<JSONObject>(&storage_); }
  const JSONArray* arrayValue() const noexcept { return std::get_if<JSONArray>(&storage_); }
  JSONObject* objectValue() noexcept { return std::get_if<JSONObject>(&storage_); }
  JSONArray* arrayValue() noexcept { return std::get_if<JSONArray>(&storage_); }

  // The value as a plain JSON document (the untyped form for interfaces that take one). Object
  // members come out in key order.
  nlohmann::ordered_json value() const;

  // From a plain JSON document: integral numbers in the signed 64-bit range become integers, every
  // other number a double. Throws velmoria::base::DecodingError (data corrupted) for nesting beyond kMaxDepth
  // and for what no JSON text holds (non-finite numbers, binary).
  static AnyJSON fromJSON(const nlohmann::ordered_json& json);

  // Reads JSON text straight into a value (strict JSON: no comments, no trailing text, UTF-8 only).
  // Nothing on malformed or too deeply nested text.
  static std::optional<AnyJSON> parse(std::string_view text);

  // From any codable value: AnyJSON, text, Bool, Int64 and Double are taken directly; anything else
  // is encoded with JSONEncoder::shared() and read back, so dates become wire texts and records
  // objects. Encoding errors propagate.
  template <class T>
  static AnyJSON fromEncodable(const T& value);

  // Into any codable type: encoded with JSONEncoder::shared(), then read with `decoder`.
  template <class T>
  T decode(const velmoria::base::JSONDecoder& decoder = JSONDecoder::shared()) const;

  // true, 42, 1.0, a text without quotes, <null>, ["a", 1], ["k": 1], [:].
  std::string description() const;

  friend bool operator==(const AnyJSON& lhs, const AnyJSON& rhs);

  std::size_t hashValue() const;

 private:
  std::variant<std::monostate, bool, std::int64_t, double, std::string, JSONObject, JSONArray> storage_;
};

// Object equality under AnyJSON's rules (keys compared by canonical equivalence, order ignored).
bool equalObjects(const JSONObject& lhs, const JSONObject& rhs);

}  // namespace zirudeze::helpers

// Decoding tries null, Int64, Double, String, Bool, array and object, in that order; a number written
// with a fraction or an exponent stays a Double. Objects are written with their keys as they are.
template <>
struct velmoria::base::Coding<zirudeze::helpers::AnyJSON> {
  static void encode(const zirudeze::helpers::AnyJSON& value, Encoder& encoder);
  static zirudeze::helpers::AnyJSON decode(const Decoder& decoder);
};

// Text decodes straight into the value, without an intermediate document; settings play no part in
// AnyJSON's reading. Failures report exactly what the document route reports.
template <>
zirudeze::helpers::AnyJSON velmoria::base::JSONDecoder::decode<zirudeze::helpers::AnyJSON>(std::string_view text) const;

namespace zirudeze::helpers {

template <class T>
AnyJSON AnyJSON::fromEncodable(const T& value) {
  if constexpr (std::is_same_v<T, AnyJSON> || std::is_same_v<T, std::string> || std::is_same_v<T, bool> ||
                std::is_same_v<T, std::int64_t> || std::is_same_v<T, double>) {
    return AnyJSON(value);
  } else {
    return fromJSON(JSONEncoder::shared().encodeToJson(value));
  }
}

template <class T>
T AnyJSON::decode(const velmoria::base::JSONDecoder& decoder) const {
  return decoder.decodeJson<T>(JSONEncoder::shared().encodeToJson(*this));
}

}  // namespace zirudeze::helpers

// JSONObject from any codable value whose JSON form is an object; anything else fails with a type
// mismatch "Expected to decode value to Dictionary<String, AnyJSON>.".
namespace zirudeze::helpers::detail {
velmoria::base::DecodingError notAJSONObject();
}  // namespace zirudeze::helpers::detail

namespace zirudeze::helpers {

template <class T>
JSONObject makeJSONObject(const T& value) {
  AnyJSON json = AnyJSON::fromEncodable(value);
  if (JSONObject* object = json.objectValue()) return std::move(*object);
  throw detail::notAJSONObject();
}

template <class T>
T decodeJSONObject(const JSONObject& object, const velmoria::base::JSONDecoder& decoder = JSONDecoder::shared()) {
  return decoder.decodeJson<T>(JSONEncoder::shared().encodeToJson(object));
}

template <class T>
std::vector<T> decodeJSONArray(const JSONArray& array,
                               const velmoria::base::JSONDecoder& decoder = JSONDecoder::shared()) {
  return decoder.decodeJson<std::vector<T>>(JSONEncoder::shared().encodeToJson(array));
}

}  // namespace zirudeze::helpers

template <>
struct std::hash<zirudeze::helpers::AnyJSON> {
  std::size_t operator()(const zirudeze::helpers::AnyJSON& value) const { return value.hashValue(); }
};
