#include <cmath>
#include <string>
#include <vector>

#include "AnyJSONConversion.hpp"
#include "base/coding/CodingErrors.hpp"
#include "base/coding/JSONCoders.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::helpers {
namespace {

// Builds the value while nlohmann reads the text, so no intermediate document is made. nlohmann's
// reader keeps its own nesting on the heap; this one stops it at the depth cap.
class Builder : public nlohmann::json_sax<nlohmann::json> {
 public:
  std::optional<AnyJSON> take() {
    if (!complete_) return std::nullopt;
    return std::move(root_);
  }

  bool null() override { return place(AnyJSON()); }
  bool boolean(bool value) override { return place(AnyJSON(value)); }
  bool number_integer(number_integer_t value) override { return place(AnyJSON(std::int64_t{value})); }
  bool number_unsigned(number_unsigned_t value) override { return place(AnyJSON(std::uint64_t{value})); }
  bool number_float(number_float_t value, const string_t&) override {
    // An exponent beyond the double range reads as infinity, which no JSON number denotes.
    if (!std::isfinite(value)) return false;
    return place(AnyJSON(value));
  }
  bool string(string_t& value) override { return place(AnyJSON(std::move(value))); }
  bool binary(binary_t&) override { return false; }

  bool start_object(std::size_t) override { return open(AnyJSON(JSONObject())); }
  bool key(string_t& value) override {
    key_ = std::move(value);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(AnyJSON(JSONArray())); }
  bool end_array() override { return close(); }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  AnyJSON* insert(AnyJSON value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    AnyJSON& parent = *stack_.back();
    if (JSONArray* array = parent.arrayValue()) {
      array->push_back(std::move(value));
      return &array->back();
    }
    // A repeated key keeps its last value.
    JSONObject& object = *parent.objectValue();
    auto [slot, inserted] = object.try_emplace(std::move(key_));
    slot->second = std::move(value);
    return &slot->second;
  }

  bool place(AnyJSON value) {
    insert(std::move(value));
    if (stack_.empty()) complete_ = true;
    return true;
  }

  bool open(AnyJSON container) {
    if (stack_.size() >= AnyJSON::kMaxDepth) return false;
    stack_.push_back(insert(std::move(container)));
    return true;
  }

  bool close() {
    stack_.pop_back();
    if (stack_.empty()) complete_ = true;
    return true;
  }

  AnyJSON root_;
  std::vector<AnyJSON*> stack_;
  std::string key_;
  bool complete_ = false;
};

}  // namespace

std::optional<AnyJSON> AnyJSON::parse(std::string_view text) {
  if (velmoria::base::holdsNulByte(text)) return std::nullopt;
  Builder builder;
  try {
    if (!nlohmann::json::sax_parse(text, &builder)) return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return builder.take();
}

}  // namespace zirudeze::helpers

namespace zirudeze::helpers::detail {

AnyJSON convertJSON(const nlohmann::ordered_json& json, std::size_t depth, const FailureAt& failure) {
  using Type = nlohmann::ordered_json::value_t;
  switch (json.type()) {
    case Type::null:
      return AnyJSON();
    case Type::boolean:
      return AnyJSON(json.get<bool>());
    case Type::number_integer:
      return AnyJSON(json.get<std::int64_t>());
    case Type::number_unsigned:
      return AnyJSON(json.get<std::uint64_t>());
    case Type::number_float: {
      const double value = json.get<double>();
      if (!std::isfinite(value)) break;
      return AnyJSON(value);
    }
    case Type::string:
      return AnyJSON(json.get_ref<const std::string&>());
    case Type::object: {
      if (depth >= AnyJSON::kMaxDepth) throw failure(kTooDeepDescription);
      JSONObject object;
      for (auto it = json.begin(); it != json.end(); ++it) {
        object.try_emplace(it.key(), convertJSON(it.value(), depth + 1, failure));
      }
      return AnyJSON(std::move(object));
    }
    case Type::array: {
      if (depth >= AnyJSON::kMaxDepth) throw failure(kTooDeepDescription);
      JSONArray array;
      array.reserve(json.size());
      for (const auto& element : json) array.push_back(convertJSON(element, depth + 1, failure));
      return AnyJSON(std::move(array));
    }
    case Type::binary:
    case Type::discarded:
      break;
  }
  throw failure(kInvalidValueDescription);
}

}  // namespace zirudeze::helpers::detail

namespace zirudeze::helpers {

AnyJSON AnyJSON::fromJSON(const nlohmann::ordered_json& json) {
  return detail::convertJSON(json, 0, [](const char* description) {
    return velmoria::base::DecodingError::dataCorrupted({{}, description});
  });
}

}  // namespace zirudeze::helpers
