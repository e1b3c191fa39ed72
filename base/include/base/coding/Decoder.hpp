#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/coding/CodingErrors.hpp"
#include "base/coding/CodingStrategies.hpp"

namespace velmoria::base {

using Json = nlohmann::ordered_json;

template <class T>
struct Coding;

class KeyedDecodingContainer;
class UnkeyedDecodingContainer;

// A read position in a JSON document: the value, where it sits, and the decoder's settings.
// Decoders are cheap stack values that point at their parent; the path is built only for errors.
class Decoder {
 public:
  Decoder(const Json& value, const DecoderSettings& settings) : value_(&value), settings_(&settings) {}
  Decoder(const Json& value, const Decoder& parent, std::string_view key)
      : value_(&value), settings_(parent.settings_), parent_(&parent), key_(key) {}
  Decoder(const Json& value, const Decoder& parent, int index)
      : value_(&value), settings_(parent.settings_), parent_(&parent), index_(index) {}

  const Json& json() const { return *value_; }
  const DecoderSettings& settings() const { return *settings_; }
  CodingPath codingPath() const;
  bool isNull() const { return value_->is_null(); }

  // Keys follow the decoder's key strategy.
  KeyedDecodingContainer container() const;
  // Keys are matched exactly as written, whatever the strategy (registered wire names).
  KeyedDecodingContainer exactKeyContainer() const;
  UnkeyedDecodingContainer unkeyedContainer() const;

  // Decodes this value itself (the single-value container).
  template <class T>
  T decode() const {
    return Coding<T>::decode(*this);
  }
  bool decodeNil() const { return isNull(); }

  // Errors made for this position.
  DecodingError dataCorrupted(std::string description) const;
  DecodingError typeMismatch(std::string expectedType) const;
  DecodingError valueNotFound(std::string expectedType) const;
  // Fails unless the value is a string; "String" is the expected type in the error.
  const std::string& requireString() const;

 private:
  void appendPath(CodingPath& path) const;

  const Json* value_;
  const DecoderSettings* settings_;
  const Decoder* parent_ = nullptr;
  std::string_view key_;
  int index_ = -1;
};

// An object seen through the key strategy.
class KeyedDecodingContainer {
 public:
  KeyedDecodingContainer(const Decoder& owner, bool convertKeys);

  bool contains(std::string_view key) const { return find(key) != nullptr; }
  std::vector<std::string> allKeys() const;
  // The value under a key, or null when absent.
  const Json* find(std::string_view key) const;

  template <class T>
  T decode(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr) throw keyNotFound(key);
    return Coding<T>::decode(Decoder(*value, owner_, key));
  }

  // Absent and null both read as nothing; a value of the wrong type still fails.
  template <class T>
  std::optional<T> decodeIfPresent(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr || value->is_null()) return std::nullopt;
    return Coding<T>::decode(Decoder(*value, owner_, key));
  }

  template <class T>
  T decodeOr(std::string_view key, T fallback) const {
    auto value = decodeIfPresent<T>(key);
    return value ? std::move(*value) : std::move(fallback);
  }

  bool decodeNil(std::string_view key) const;

  // A decoder for the value under the key; keyNotFound when absent.
  Decoder nestedDecoder(std::string_view key) const;

  DecodingError keyNotFound(std::string_view key) const;
  DecodingError dataCorrupted(std::string_view key, std::string description) const;
  const Decoder& decoder() const { return owner_; }

 private:
  const Decoder& owner_;
  const Json& object_;
  bool convertKeys_;
  std::vector<std::pair<std::string, const Json*>> converted_;
};

class UnkeyedDecodingContainer {
 public:
  explicit UnkeyedDecodingContainer(const Decoder& owner);

  std::size_t count() const { return array_.size(); }
  bool isAtEnd() const { return index_ >= array_.size(); }
  std::size_t currentIndex() const { return index_; }

  template <class T>
  T decode() {
    const Json& value = next();
    const int position = static_cast<int>(index_++);
    return Coding<T>::decode(Decoder(value, owner_, position));
  }

  template <class T>
  std::optional<T> decodeIfPresent() {
    const Json& value = next();
    const int position = static_cast<int>(index_++);
    if (value.is_null()) return std::nullopt;
    return Coding<T>::decode(Decoder(value, owner_, position));
  }

  bool decodeNil();

 private:
  const Json& next() const;

  const Decoder& owner_;
  const Json& array_;
  std::size_t index_ = 0;
};

// "a string", "number", "bool", "null", "a dictionary", "an array".
std::string describeJsonKind(const Json& value);

}  // namespace velmoria::base
