#pragma once

// How each type is written and read. A type either has the members
//   void encode(velmoria::base::Encoder&) const;  static T decode(const velmoria::base::Decoder&);
// or specialises velmoria::base::Coding<T>. The built-in forms below cover the JSON primitives,
// optionals, arrays, string-keyed maps (keys kept verbatim), dates and raw bytes.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/Data.hpp"
#include "base/Date.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"

namespace velmoria::base {

template <class T>
struct Coding {
  static void encode(const T& value, Encoder& encoder) { value.encode(encoder); }
  static T decode(const Decoder& decoder) { return T::decode(decoder); }
};

}  // namespace velmoria::base

namespace velmoria::base::coding_detail {
[[noreturn]] void throwNumberDoesNotFit(const Decoder& decoder, std::string_view typeName);
double readDouble(const Decoder& decoder, std::string_view typeName);
void writeDouble(double value, Encoder& encoder);
template <class T>
constexpr std::string_view integerTypeName() {
  if constexpr (std::is_same_v<T, std::int8_t>)
    return "Int8";
  else if constexpr (std::is_same_v<T, std::int16_t>)
    return "Int16";
  else if constexpr (std::is_same_v<T, std::int32_t>)
    return "Int32";
  else if constexpr (std::is_same_v<T, std::uint8_t>)
    return "UInt8";
  else if constexpr (std::is_same_v<T, std::uint16_t>)
    return "UInt16";
  else if constexpr (std::is_same_v<T, std::uint32_t>)
    return "UInt32";
  else if constexpr (std::is_unsigned_v<T>)
    return "UInt";
  else
    return "Int";
}
}  // namespace velmoria::base::coding_detail

namespace velmoria::base {

template <>
struct Coding<bool> {
  static void encode(bool value, Encoder& encoder) { encoder.json() = value; }
  static bool decode(const Decoder& decoder) {
    const Json& json = decoder.json();
    if (json.is_boolean()) return json.get<bool>();
    if (json.is_null()) throw decoder.valueNotFound("Bool");
    throw decoder.typeMismatch("Bool");
  }
};

template <std::integral T>
requires(!std::is_same_v<T, bool> && !std::is_same_v<T, char>) struct Coding<T> {
  static void encode(T value, Encoder& encoder) { encoder.json() = value; }
  static T decode(const Decoder& decoder) {
    constexpr std::string_view name = coding_detail::integerTypeName<T>();
    const Json& json = decoder.json();
    if (json.is_number_unsigned()) {
      const auto value = json.get<std::uint64_t>();
      if (value > static_cast<std::uint64_t>(std::numeric_limits<T>::max()))
        coding_detail::throwNumberDoesNotFit(decoder, name);
      return static_cast<T>(value);
    }
    if (json.is_number_integer()) {
      const auto value = json.get<std::int64_t>();
      if constexpr (std::is_unsigned_v<T>) {
        if (value < 0 || static_cast<std::uint64_t>(value) > std::numeric_limits<T>::max())
          coding_detail::throwNumberDoesNotFit(decoder, name);
      } else {
        if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
          coding_detail::throwNumberDoesNotFit(decoder, name);
      }
      return static_cast<T>(value);
    }
    if (json.is_number_float()) {
      // An integral fraction-form number (3.0) is accepted; anything else does not fit.
      const double value = json.get<double>();
      if (std::trunc(value) != value || value < static_cast<double>(std::numeric_limits<T>::min()) ||
          value >= static_cast<double>(std::numeric_limits<T>::max()))
        coding_detail::throwNumberDoesNotFit(decoder, name);
      return static_cast<T>(value);
    }
    if (json.is_null()) throw decoder.valueNotFound(std::string(name));
    throw decoder.typeMismatch(std::string(name));
  }
};

template <std::floating_point T>
struct Coding<T> {
  static void encode(T value, Encoder& encoder) { coding_detail::writeDouble(static_cast<double>(value), encoder); }
  static T decode(const Decoder& decoder) {
    return static_cast<T>(coding_detail::readDouble(decoder, std::is_same_v<T, float> ? "Float" : "Double"));
  }
};

template <>
struct Coding<std::string> {
  static void encode(const std::string& value, Encoder& encoder) { encoder.json() = value; }
  static std::string decode(const Decoder& decoder) { return decoder.requireString(); }
};

template <class T>
struct Coding<std::optional<T>> {
  static void encode(const std::optional<T>& value, Encoder& encoder) {
    if (value)
      Coding<T>::encode(*value, encoder);
    else
      encoder.encodeNil();
  }
  static std::optional<T> decode(const Decoder& decoder) {
    if (decoder.isNull()) return std::nullopt;
    return Coding<T>::decode(decoder);
  }
};

template <class T>
requires(!std::is_same_v<T, std::uint8_t>) struct Coding<std::vector<T>> {
  static void encode(const std::vector<T>& values, Encoder& encoder) {
    auto array = encoder.unkeyedContainer();
    for (const auto& value : values) array.template encode<T>(value);
  }
  static std::vector<T> decode(const Decoder& decoder) {
    auto array = decoder.unkeyedContainer();
    std::vector<T> values;
    values.reserve(array.count());
    while (!array.isAtEnd()) values.push_back(array.template decode<T>());
    return values;
  }
};

// Free-form maps keep their keys exactly as they are, whatever the key strategy.
template <class T>
struct Coding<std::map<std::string, T>> {
  static void encode(const std::map<std::string, T>& values, Encoder& encoder) {
    auto object = encoder.exactKeyContainer();
    for (const auto& [key, value] : values) object.template encode<T>(key, value);
  }
  static std::map<std::string, T> decode(const Decoder& decoder) {
    if (!decoder.json().is_object()) throw decoder.typeMismatch("Dictionary<String, Any>");
    std::map<std::string, T> values;
    for (auto it = decoder.json().begin(); it != decoder.json().end(); ++it)
      values.emplace(it.key(), Coding<T>::decode(Decoder(it.value(), decoder, it.key())));
    return values;
  }
};

// Bytes follow the data strategy (Base64 text by default).
template <>
struct Coding<Data> {
  static void encode(const Data& value, Encoder& encoder);
  static Data decode(const Decoder& decoder);
};

// Instants follow the date strategy.
template <>
struct Coding<Date> {
  static void encode(const Date& value, Encoder& encoder);
  static Date decode(const Decoder& decoder);
};

// A JSON value carried as it is.
template <>
struct Coding<Json> {
  static void encode(const Json& value, Encoder& encoder) { encoder.json() = value; }
  static Json decode(const Decoder& decoder) { return decoder.json(); }
};

// Reads a string value and maps it through a table of raw values; unknown text fails with
// "Cannot initialize <Type> from invalid String value <text>".
template <class E, std::size_t N>
E decodeRawValue(const Decoder& decoder, std::string_view typeName, const std::pair<E, std::string_view> (&table)[N]) {
  const std::string& text = decoder.requireString();
  for (const auto& [value, raw] : table)
    if (raw == text) return value;
  throw decoder.dataCorrupted("Cannot initialize " + std::string(typeName) + " from invalid String value " + text);
}

template <class E, std::size_t N>
std::string_view rawValueOf(E value, const std::pair<E, std::string_view> (&table)[N]) {
  for (const auto& [candidate, raw] : table)
    if (candidate == value) return raw;
  return {};
}

}  // namespace velmoria::base
