#include "helpers/AnyJSON.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>

#include "base/Check.hpp"
#include "base/Unicode.hpp"
#include "issuereporting/DebugRender.hpp"

namespace zirudeze::helpers {
namespace {

std::size_t mix(std::size_t seed, std::size_t value) {
  // 64-bit golden-ratio combine; good enough spread for hash tables.
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 12) + (seed >> 4));
}

void appendQuoted(std::string& out, std::string_view text) { out += issuereporting::quotedText(text); }

void appendDouble(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "nan";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  out += text;
  // Integral values keep a visible fraction so that 1.0 never reads as the integer 1.
  if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
}

void describe(std::string& out, const AnyJSON& value, bool nested) {
  switch (value.kind()) {
    case AnyJSON::Kind::null:
      out += "<null>";
      break;
    case AnyJSON::Kind::bool_:
      out += *value.boolValue() ? "true" : "false";
      break;
    case AnyJSON::Kind::integer:
      out += std::to_string(*value.intValue());
      break;
    case AnyJSON::Kind::double_:
      appendDouble(out, *value.doubleValue());
      break;
    case AnyJSON::Kind::string:
      if (nested)
        appendQuoted(out, *value.stringValue());
      else
        out += *value.stringValue();
      break;
    case AnyJSON::Kind::object: {
      const JSONObject& object = *value.objectValue();
      if (object.empty()) {
        out += "[:]";
        break;
      }
      out += '[';
      bool first = true;
      for (const auto& [key, member] : object) {
        if (!first) out += ", ";
        first = false;
        appendQuoted(out, key);
        out += ": ";
        describe(out, member, true);
      }
      out += ']';
      break;
    }
    case AnyJSON::Kind::array: {
      out += '[';
      bool first = true;
      for (const AnyJSON& element : *value.arrayValue()) {
        if (!first) out += ", ";
        first = false;
        describe(out, element, true);
      }
      out += ']';
      break;
    }
  }
}

}  // namespace

AnyJSON AnyJSON::array(std::initializer_list<AnyJSON> elements) { return AnyJSON(JSONArray(elements)); }

AnyJSON AnyJSON::object(std::initializer_list<std::pair<std::string, AnyJSON>> entries) {
  JSONObject object;
  for (const auto& [key, value] : entries) {
    if (!object.emplace(key, value).second) velmoria::base::fatalError("Duplicate values for key: '" + key + "'");
  }
  return AnyJSON(std::move(object));
}

std::optional<bool> AnyJSON::boolValue() const noexcept {
  if (const bool* value = std::get_if<bool>(&storage_)) return *value;
  return std::nullopt;
}

std::optional<std::int64_t> AnyJSON::intValue() const noexcept {
  if (const std::int64_t* value = std::get_if<std::int64_t>(&storage_)) return *value;
  return std::nullopt;
}

std::optional<double> AnyJSON::doubleValue() const noexcept {
  if (const double* value = std::get_if<double>(&storage_)) return *value;
  return std::nullopt;
}

nlohmann::ordered_json AnyJSON::value() const {
  switch (kind()) {
    case Kind::null:
      return nullptr;
    case Kind::bool_:
      return std::get<bool>(storage_);
    case Kind::integer:
      return std::get<std::int64_t>(storage_);
    case Kind::double_:
      return std::get<double>(storage_);
    case Kind::string:
      return std::get<std::string>(storage_);
    case Kind::object: {
      nlohmann::ordered_json object = nlohmann::ordered_json::object();
      for (const auto& [key, member] : std::get<JSONObject>(storage_)) object.emplace(key, member.value());
      return object;
    }
    case Kind::array: {
      nlohmann::ordered_json array = nlohmann::ordered_json::array();
      for (const AnyJSON& element : std::get<JSONArray>(storage_)) array.push_back(element.value());
      return array;
    }
  }
  return nullptr;
}

std::string AnyJSON::description() const {
  std::string out;
  describe(out, *this, false);
  return out;
}

bool equalObjects(const JSONObject& lhs, const JSONObject& rhs) {
  if (lhs.size() != rhs.size()) return false;
  // Usual case: the same key bytes on both sides, so the sorted maps line up.
  bool aligned = true;
  for (auto l = lhs.begin(), r = rhs.begin(); l != lhs.end(); ++l, ++r) {
    if (l->first != r->first) {
      aligned = false;
      break;
    }
    if (!(l->second == r->second)) return false;
  }
  if (aligned) return true;
  // Keys that differ only in their Unicode normal form are the same key.
  std::map<std::string, const AnyJSON*, std::less<>> right;
  for (const auto& [key, value] : rhs) right.emplace(velmoria::base::nfc(key), &value);
  for (const auto& [key, value] : lhs) {
    const auto match = right.find(velmoria::base::nfc(key));
    if (match == right.end() || !(value == *match->second)) return false;
  }
  return true;
}

bool operator==(const AnyJSON& lhs, const AnyJSON& rhs) {
  if (lhs.storage_.index() != rhs.storage_.index()) return false;
  switch (lhs.kind()) {
    case AnyJSON::Kind::null:
      return true;
    case AnyJSON::Kind::bool_:
      return std::get<bool>(lhs.storage_) == std::get<bool>(rhs.storage_);
    case AnyJSON::Kind::integer:
      return std::get<std::int64_t>(lhs.storage_) == std::get<std::int64_t>(rhs.storage_);
    case AnyJSON::Kind::double_:
      return std::get<double>(lhs.storage_) == std::get<double>(rhs.storage_);
    case AnyJSON::Kind::string:
      return velmoria::base::canonicallyEqual(std::get<std::string>(lhs.storage_), std::get<std::string>(rhs.storage_));
    case AnyJSON::Kind::object:
      return equalObjects(std::get<JSONObject>(lhs.storage_), std::get<JSONObject>(rhs.storage_));
    case AnyJSON::Kind::array:
      return std::get<JSONArray>(lhs.storage_) == std::get<JSONArray>(rhs.storage_);
  }
  return false;
}

std::size_t AnyJSON::hashValue() const {
  std::size_t seed = std::hash<std::size_t>{}(storage_.index());
  switch (kind()) {
    case Kind::null:
      break;
    case Kind::bool_:
      seed = mix(seed, std::hash<bool>{}(std::get<bool>(storage_)));
      break;
    case Kind::integer:
      seed = mix(seed, std::hash<std::int64_t>{}(std::get<std::int64_t>(storage_)));
      break;
    case Kind::double_: {
      const double value = std::get<double>(storage_);
      seed = mix(seed, std::hash<double>{}(value == 0.0 ? 0.0 : value));
      break;
    }
    case Kind::string:
      seed = mix(seed, velmoria::base::canonicalHash(std::get<std::string>(storage_)));
      break;
    case Kind::object: {
      // A sum does not depend on the order in which entries are visited.
      std::size_t entries = 0;
      for (const auto& [key, member] : std::get<JSONObject>(storage_)) {
        entries += mix(velmoria::base::canonicalHash(key), member.hashValue());
      }
      seed = mix(mix(seed, std::get<JSONObject>(storage_).size()), entries);
      break;
    }
    case Kind::array: {
      const JSONArray& array = std::get<JSONArray>(storage_);
      seed = mix(seed, array.size());
      for (const AnyJSON& element : array) seed = mix(seed, element.hashValue());
      break;
    }
  }
  return seed;
}

}  // namespace zirudeze::helpers
