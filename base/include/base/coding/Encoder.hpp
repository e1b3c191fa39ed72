#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/coding/CodingErrors.hpp"
#include "base/coding/CodingStrategies.hpp"

namespace velmoria::base {

using Json = nlohmann::ordered_json;

template <class T>
struct Coding;

class KeyedEncodingContainer;
class UnkeyedEncodingContainer;

// A write position in a JSON document under construction.
class Encoder {
 public:
  Encoder(Json& value, const EncoderSettings& settings) : value_(&value), settings_(&settings) {}
  Encoder(Json& value, const Encoder& parent, std::string_view key)
      : value_(&value), settings_(parent.settings_), parent_(&parent), key_(key) {}
  Encoder(Json& value, const Encoder& parent, int index)
      : value_(&value), settings_(parent.settings_), parent_(&parent), index_(index) {}

  Json& json() { return *value_; }
  const EncoderSettings& settings() const { return *settings_; }
  CodingPath codingPath() const;

  // Keys follow the encoder's key strategy.
  KeyedEncodingContainer container();
  // Keys are written exactly as given, whatever the strategy.
  KeyedEncodingContainer exactKeyContainer();
  UnkeyedEncodingContainer unkeyedContainer();

  // Encodes a value at this position (the single-value container).
  template <class T>
  void encode(const T& value) {
    Coding<T>::encode(value, *this);
  }
  void encodeNil() { *value_ = nullptr; }

  EncodingError invalidValue(std::string valueDescription, std::string description) const;

 private:
  void appendPath(CodingPath& path) const;

  Json* value_;
  const EncoderSettings* settings_;
  const Encoder* parent_ = nullptr;
  std::string_view key_;
  int index_ = -1;
};

class KeyedEncodingContainer {
 public:
  KeyedEncodingContainer(Encoder& owner, bool convertKeys);

  template <class T>
  void encode(std::string_view key, const T& value) {
    const std::string name = keyName(key);
    Json& slot = (*object_)[name];
    Encoder child(slot, owner_, key);
    Coding<T>::encode(value, child);
  }

  // Nothing is written for an absent value.
  template <class T>
  void encodeIfPresent(std::string_view key, const std::optional<T>& value) {
    if (value) encode(key, *value);
  }

  void encodeNil(std::string_view key) { (*object_)[keyName(key)] = nullptr; }

  // An encoder for the value under the key (for values written by hand).
  Encoder nestedEncoder(std::string_view key);

 private:
  std::string keyName(std::string_view key) const;

  Encoder& owner_;
  Json* object_;
  bool convertKeys_;
};

class UnkeyedEncodingContainer {
 public:
  explicit UnkeyedEncodingContainer(Encoder& owner);

  template <class T>
  void encode(const T& value) {
    array_->push_back(nullptr);
    Encoder child(array_->back(), owner_, static_cast<int>(array_->size() - 1));
    Coding<T>::encode(value, child);
  }
  void encodeNil() { array_->push_back(nullptr); }
  std::size_t count() const { return array_->size(); }

 private:
  Encoder& owner_;
  Json* array_;
};

}  // namespace velmoria::base
