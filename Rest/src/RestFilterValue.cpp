#include "rest/RestFilterValue.hpp"

#include <cmath>

#include "ValueText.hpp"
#include "base/Unicode.hpp"
#include "helpers/ISO8601Date.hpp"

namespace zirudeze::rest {
namespace {

// Non-finite numbers and text that is not UTF-8 have no JSON form.
std::optional<std::string> whyNotJSON(const helpers::AnyJSON& value) {
  switch (value.kind()) {
    case helpers::AnyJSON::Kind::double_: {
      const double number = *value.doubleValue();
      if (!std::isfinite(number)) {
        return "A JSON operand holds the number " +
               std::string(std::isnan(number) ? "nan"
                           : number > 0       ? "inf"
                                              : "-inf") +
               ", which JSON cannot express";
      }
      return std::nullopt;
    }
    case helpers::AnyJSON::Kind::string:
      if (!velmoria::base::isValidUTF8(*value.stringValue()))
        return "A JSON operand holds text that is not valid UTF-8";
      return std::nullopt;
    case helpers::AnyJSON::Kind::array:
      for (const auto& element : *value.arrayValue())
        if (auto why = whyNotJSON(element)) return why;
      return std::nullopt;
    case helpers::AnyJSON::Kind::object:
      for (const auto& [key, member] : *value.objectValue()) {
        if (!velmoria::base::isValidUTF8(key)) return "A JSON operand holds a key that is not valid UTF-8";
        if (auto why = whyNotJSON(member)) return why;
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string RestFilterValue::signedText(long long value) { return std::to_string(value); }

std::string RestFilterValue::unsignedText(unsigned long long value) { return std::to_string(value); }

std::string RestFilterValue::doubleText(double value) {
  return detail::decimalText(value, detail::WholeNumbers::pointZero);
}

RestFilterValue::RestFilterValue(velmoria::base::Date date) : rawValue_(helpers::formatISO8601Date(date) + "Z") {}

RestFilterValue RestFilterValue::fromJSON(const helpers::AnyJSON& json) {
  using Kind = helpers::AnyJSON::Kind;
  switch (json.kind()) {
    case Kind::null:
      return RestFilterValue(std::nullopt);
    case Kind::bool_:
      return RestFilterValue(*json.boolValue());
    case Kind::integer:
      return RestFilterValue(*json.intValue());
    case Kind::double_:
      return RestFilterValue(*json.doubleValue());
    case Kind::string:
      return RestFilterValue(*json.stringValue());
    case Kind::array: {
      std::vector<RestFilterValue> elements;
      elements.reserve(json.arrayValue()->size());
      for (const auto& element : *json.arrayValue()) elements.push_back(fromJSON(element));
      return array(elements);
    }
    case Kind::object:
      return fromObject(*json.objectValue());
  }
  return RestFilterValue(std::nullopt);
}

RestFilterValue RestFilterValue::fromObject(const helpers::JSONObject& object) {
  RestFilterValue value;
  const helpers::AnyJSON json(object);
  if (auto why = whyNotJSON(json)) {
    value.error_ = std::move(why);
    return value;
  }
  // Members come out in key order; nlohmann writes "/" unescaped and adds no white space.
  value.rawValue_ = json.value().dump();
  return value;
}

RestFilterValue RestFilterValue::joined(const std::vector<RestFilterValue>& elements) {
  RestFilterValue value;
  std::size_t length = elements.size();
  for (const auto& element : elements) length += element.rawValue_.size();
  value.rawValue_.reserve(length);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (i > 0) value.rawValue_ += ',';
    const RestFilterValue& element = elements[i];
    value.rawValue_ += element.shape_ == Shape::text ? detail::listElementText(element.rawValue_) : element.rawValue_;
    if (!value.error_ && elements[i].error_) value.error_ = elements[i].error_;
  }
  return value;
}

RestFilterValue RestFilterValue::array(const std::vector<RestFilterValue>& elements) {
  RestFilterValue value = joined(elements);
  value.rawValue_ = "{" + value.rawValue_ + "}";
  value.shape_ = Shape::list;
  return value;
}

RestFilterValue RestFilterValue::inParentheses() const {
  if (shape_ != Shape::list) return *this;
  RestFilterValue value = *this;
  value.rawValue_.front() = '(';
  value.rawValue_.back() = ')';
  return value;
}

}  // namespace zirudeze::rest
