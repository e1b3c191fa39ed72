#include "base/coding/Decoder.hpp"

#include "base/coding/KeyConversion.hpp"

namespace velmoria::base {

std::string describeJsonKind(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "bool";
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "a dictionary";
    case Json::value_t::array:
      return "an array";
    default:
      return "number";
  }
}

void Decoder::appendPath(CodingPath& path) const {
  if (parent_ == nullptr) return;
  parent_->appendPath(path);
  if (index_ >= 0)
    path.push_back(CodingKey::index(index_));
  else
    path.push_back(CodingKey{std::string(key_), std::nullopt});
}

CodingPath Decoder::codingPath() const {
  CodingPath path;
  appendPath(path);
  return path;
}

KeyedDecodingContainer Decoder::container() const {
  return KeyedDecodingContainer(*this, settings_->keyDecodingStrategy == KeyDecodingStrategy::convertFromSnakeCase);
}

KeyedDecodingContainer Decoder::exactKeyContainer() const { return KeyedDecodingContainer(*this, false); }

UnkeyedDecodingContainer Decoder::unkeyedContainer() const { return UnkeyedDecodingContainer(*this); }

DecodingError Decoder::dataCorrupted(std::string description) const {
  return DecodingError::dataCorrupted({codingPath(), std::move(description)});
}

DecodingError Decoder::typeMismatch(std::string expectedType) const {
  std::string description =
      "Expected to decode " + expectedType + " but found " + describeJsonKind(*value_) + " instead.";
  return DecodingError::typeMismatch(std::move(expectedType), {codingPath(), std::move(description)});
}

DecodingError Decoder::valueNotFound(std::string expectedType) const {
  std::string description = "Expected " + expectedType + " value but found null instead.";
  return DecodingError::valueNotFound(std::move(expectedType), {codingPath(), std::move(description)});
}

const std::string& Decoder::requireString() const {
  if (value_->is_string()) return value_->get_ref<const std::string&>();
  if (value_->is_null()) throw valueNotFound("String");
  throw typeMismatch("String");
}

KeyedDecodingContainer::KeyedDecodingContainer(const Decoder& owner, bool convertKeys)
    : owner_(owner), object_(owner.json()), convertKeys_(convertKeys) {
  if (!object_.is_object()) {
    if (object_.is_null()) throw owner.valueNotFound("Dictionary<String, Any>");
    throw owner.typeMismatch("Dictionary<String, Any>");
  }
  if (convertKeys_) {
    converted_.reserve(object_.size());
    for (auto it = object_.begin(); it != object_.end(); ++it) {
      std::string name = convertFromSnakeCase(it.key());
      bool seen = false;
      for (const auto& entry : converted_) seen = seen || entry.first == name;
      // The first spelling wins when two input keys convert to the same name.
      if (!seen) converted_.emplace_back(std::move(name), &it.value());
    }
  }
}

const Json* KeyedDecodingContainer::find(std::string_view key) const {
  if (convertKeys_) {
    for (const auto& [name, value] : converted_)
      if (name == key) return value;
    return nullptr;
  }
  const auto it = object_.find(key);
  return it == object_.end() ? nullptr : &*it;
}

std::vector<std::string> KeyedDecodingContainer::allKeys() const {
  std::vector<std::string> keys;
  if (convertKeys_) {
    for (const auto& entry : converted_) keys.push_back(entry.first);
  } else {
    for (auto it = object_.begin(); it != object_.end(); ++it) keys.push_back(it.key());
  }
  return keys;
}

bool KeyedDecodingContainer::decodeNil(std::string_view key) const {
  const Json* value = find(key);
  if (value == nullptr) throw keyNotFound(key);
  return value->is_null();
}

Decoder KeyedDecodingContainer::nestedDecoder(std::string_view key) const {
  const Json* value = find(key);
  if (value == nullptr) throw keyNotFound(key);
  return Decoder(*value, owner_, key);
}

DecodingError KeyedDecodingContainer::keyNotFound(std::string_view key) const {
  std::string text(key);
  std::string description =
      "No value associated with key CodingKeys(stringValue: \"" + text + "\", intValue: nil) (\"" + text + "\")";
  if (convertKeys_) {
    const std::string original = convertToSnakeCase(key);
    if (original != text) description += ", converted to " + original;
  }
  description += ".";
  return DecodingError::keyNotFound(CodingKey{text, std::nullopt}, {owner_.codingPath(), std::move(description)});
}

DecodingError KeyedDecodingContainer::dataCorrupted(std::string_view key, std::string description) const {
  CodingPath path = owner_.codingPath();
  path.push_back(CodingKey{std::string(key), std::nullopt});
  return DecodingError::dataCorrupted({std::move(path), std::move(description)});
}

UnkeyedDecodingContainer::UnkeyedDecodingContainer(const Decoder& owner) : owner_(owner), array_(owner.json()) {
  if (!array_.is_array()) {
    if (array_.is_null()) throw owner.valueNotFound("Array<Any>");
    throw owner.typeMismatch("Array<Any>");
  }
}

const Json& UnkeyedDecodingContainer::next() const {
  if (isAtEnd()) {
    CodingPath path = owner_.codingPath();
    path.push_back(CodingKey::index(static_cast<int>(index_)));
    throw DecodingError::valueNotFound("Any", {std::move(path), "Unkeyed container is at end."});
  }
  return array_[index_];
}

bool UnkeyedDecodingContainer::decodeNil() {
  if (next().is_null()) {
    ++index_;
    return true;
  }
  return false;
}

}  // namespace velmoria::base
