#include "JSONText.hpp"

#include <charconv>
#include <cmath>

#include "base/Unicode.hpp"
#include "base/coding/Coding.hpp"
#include "base/coding/CodingErrors.hpp"

namespace zirudeze::realtime::detail {

namespace {

constexpr char kHex[] = "0123456789abcdef";

[[noreturn]] void refuse(std::string value, std::string why) {
  throw velmoria::base::EncodingError::invalidValue(std::move(value), {{}, std::move(why)});
}

void appendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    // The coders' own refusal, with their texts.
    velmoria::base::Json scratch;
    const velmoria::base::EncoderSettings settings;
    velmoria::base::Encoder encoder(scratch, settings);
    velmoria::base::coding_detail::writeDouble(value, encoder);
  }
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  out += text;
  if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
}

}  // namespace

void appendJSONString(std::string& out, std::string_view text) {
  if (!velmoria::base::isValidUTF8(text))
    refuse(std::string(text), "Unable to encode a string that is not UTF-8 in JSON.");
  out.push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out.push_back(kHex[(c >> 4) & 0xF]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

void appendJSON(std::string& out, const helpers::JSONObject& object) {
  out.push_back('{');
  bool first = true;
  for (const auto& [key, member] : object) {
    if (!first) out.push_back(',');
    first = false;
    appendJSONString(out, key);
    out.push_back(':');
    appendJSON(out, member);
  }
  out.push_back('}');
}

void appendJSON(std::string& out, const helpers::AnyJSON& value) {
  using Kind = helpers::AnyJSON::Kind;
  switch (value.kind()) {
    case Kind::null:
      out += "null";
      return;
    case Kind::bool_:
      out += *value.boolValue() ? "true" : "false";
      return;
    case Kind::integer: {
      char buffer[24];
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, *value.intValue()).ptr;
      out.append(buffer, end);
      return;
    }
    case Kind::double_:
      return appendNumber(out, *value.doubleValue());
    case Kind::string:
      return appendJSONString(out, *value.stringValue());
    case Kind::object:
      return appendJSON(out, *value.objectValue());
    case Kind::array: {
      out.push_back('[');
      bool first = true;
      for (const auto& element : *value.arrayValue()) {
        if (!first) out.push_back(',');
        first = false;
        appendJSON(out, element);
      }
      out.push_back(']');
      return;
    }
  }
}

}  // namespace zirudeze::realtime::detail
