#include "base/coding/Encoder.hpp"

#include "base/coding/KeyConversion.hpp"

namespace velmoria::base {

void Encoder::appendPath(CodingPath& path) const {
  if (parent_ == nullptr) return;
  parent_->appendPath(path);
  if (index_ >= 0)
    path.push_back(CodingKey::index(index_));
  else
    path.push_back(CodingKey{std::string(key_), std::nullopt});
}

CodingPath Encoder::codingPath() const {
  CodingPath path;
  appendPath(path);
  return path;
}

KeyedEncodingContainer Encoder::container() {
  return KeyedEncodingContainer(*this, settings_->keyEncodingStrategy == KeyEncodingStrategy::convertToSnakeCase);
}

KeyedEncodingContainer Encoder::exactKeyContainer() { return KeyedEncodingContainer(*this, false); }

UnkeyedEncodingContainer Encoder::unkeyedContainer() { return UnkeyedEncodingContainer(*this); }

EncodingError Encoder::invalidValue(std::string valueDescription, std::string description) const {
  return EncodingError::invalidValue(std::move(valueDescription), {codingPath(), std::move(description)});
}

KeyedEncodingContainer::KeyedEncodingContainer(Encoder& owner, bool convertKeys)
    : owner_(owner), object_(&owner.json()), convertKeys_(convertKeys) {
  if (!object_->is_object()) *object_ = Json::object();
}

std::string KeyedEncodingContainer::keyName(std::string_view key) const {
  return convertKeys_ ? convertToSnakeCase(key) : std::string(key);
}

Encoder KeyedEncodingContainer::nestedEncoder(std::string_view key) {
  Json& slot = (*object_)[keyName(key)];
  return Encoder(slot, owner_, key);
}

UnkeyedEncodingContainer::UnkeyedEncodingContainer(Encoder& owner) : owner_(owner), array_(&owner.json()) {
  if (!array_->is_array()) *array_ = Json::array();
}

}  // namespace velmoria::base
