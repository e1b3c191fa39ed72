#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

// Which JSON forms a closed text set has: none, written only, or written and read.
enum class RawValueCoding { none, encodeOnly, encodeAndDecode };

// Each closed text set specialises this with its type name, its table of cases and raw texts (in case
// order) and its JSON forms.
template <class E>
struct RawValueTable;

template <class E>
concept RawValueEnum = requires {
  RawValueTable<E>::typeName;
  RawValueTable<E>::entries;
  RawValueTable<E>::coding;
};

template <class E>
concept CodedRawValueEnum = RawValueEnum<E> && RawValueTable<E>::coding != RawValueCoding::none;

template <RawValueEnum E>
constexpr std::string_view rawValue(E value) {
  for (const auto& [candidate, raw] : RawValueTable<E>::entries)
    if (candidate == value) return raw;
  return {};
}

// The case whose text matches exactly (case-sensitive, whole text), or nothing.
template <RawValueEnum E>
constexpr std::optional<E> fromRawValue(std::string_view text) {
  for (const auto& [candidate, raw] : RawValueTable<E>::entries)
    if (raw == text) return candidate;
  return std::nullopt;
}

// Every case in case order, for the sets that are enumerable.
template <RawValueEnum E>
requires requires { RawValueTable<E>::allCases; }
constexpr const auto& allCases() { return RawValueTable<E>::allCases; }

}  // namespace zirudeze::auth

// Written as the raw text; read back (where the table allows it) from exactly one of the raw texts.
template <zirudeze::auth::CodedRawValueEnum E>
struct velmoria::base::Coding<E> {
  static void encode(E value, velmoria::base::Encoder& encoder) {
    encoder.json() = std::string(zirudeze::auth::rawValue(value));
  }
  static E decode(const velmoria::base::Decoder& decoder) requires(zirudeze::auth::RawValueTable<E>::coding ==
                                                                   zirudeze::auth::RawValueCoding::encodeAndDecode) {
    return velmoria::base::decodeRawValue(decoder, zirudeze::auth::RawValueTable<E>::typeName,
                                          zirudeze::auth::RawValueTable<E>::entries);
  }
};
