#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/Data.hpp"
#include "base/coding/Coding.hpp"

namespace velmoria::base {

// Documents nested deeper than this are refused before any value is read.
inline constexpr std::size_t kMaxJsonDepth = 512;

// Parses JSON text; invalid text, invalid UTF-8, bytes after the document or excessive nesting fail with
// dataCorrupted "The given data was not valid JSON.".
Json parseJson(std::string_view text);

// The parser underneath takes a NUL byte for the end of the text, so "123\0<anything>" would pass as
// "123". A raw NUL is never part of JSON text (not even inside a string), so a text holding one is
// refused before it is parsed.
bool holdsNulByte(std::string_view text) noexcept;

// Writes values as compact JSON text through their Coding.
class JSONEncoder {
 public:
  EncoderSettings settings;

  template <class T>
  Json encodeToJson(const T& value) const {
    Json root;
    Encoder encoder(root, settings);
    Coding<T>::encode(value, encoder);
    return root;
  }

  template <class T>
  std::string encodeToString(const T& value) const {
    return dump(encodeToJson(value));
  }

  template <class T>
  Data encode(const T& value) const {
    return dataFromString(encodeToString(value));
  }

  std::string dump(const Json& json) const;
};

// Reads values from JSON text through their Coding.
class JSONDecoder {
 public:
  DecoderSettings settings;

  template <class T>
  T decodeJson(const Json& json) const {
    return Coding<T>::decode(Decoder(json, settings));
  }

  template <class T>
  T decode(std::string_view text) const {
    const Json json = parseJson(text);
    return decodeJson<T>(json);
  }

  template <class T>
  T decode(const Data& data) const {
    return decode<T>(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  }
};

}  // namespace velmoria::base
