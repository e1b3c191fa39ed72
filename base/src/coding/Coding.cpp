#include "base/coding/Coding.hpp"

#include <cstdio>
#include <ctime>

#include "base/Base64.hpp"

namespace velmoria::base::coding_detail {

void throwNumberDoesNotFit(const Decoder& decoder, std::string_view typeName) {
  throw decoder.dataCorrupted("Parsed JSON number <" + decoder.json().dump() + "> does not fit in " +
                              std::string(typeName) + ".");
}

double readDouble(const Decoder& decoder, std::string_view typeName) {
  const Json& json = decoder.json();
  if (json.is_number()) return json.get<double>();
  if (json.is_null()) throw decoder.valueNotFound(std::string(typeName));
  throw decoder.typeMismatch(std::string(typeName));
}

void writeDouble(double value, Encoder& encoder) {
  if (std::isnan(value)) throw encoder.invalidValue("nan", "Unable to encode Double.nan directly in JSON.");
  if (std::isinf(value))
    throw encoder.invalidValue(value > 0 ? "inf" : "-inf", value > 0
                                                               ? "Unable to encode Double.infinity directly in JSON."
                                                               : "Unable to encode -Double.infinity directly in JSON.");
  encoder.json() = value;
}

}  // namespace velmoria::base::coding_detail

namespace velmoria::base {

namespace {

// "2024-03-05T17:04:09Z": whole seconds in UTC, the internet date-time form.
std::string formatInternetDate(Date date) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(date);
  const std::time_t time = std::chrono::system_clock::to_time_t(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return buffer;
}

std::optional<Date> parseInternetDate(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second, &consumed) !=
          6 ||
      consumed != 19)
    return std::nullopt;
  int offsetSeconds = 0;
  const std::string zone = text.substr(19);
  if (zone != "Z") {
    int offsetHours = 0, offsetMinutes = 0, zoneLength = 0;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') ||
        std::sscanf(zone.c_str() + 1, "%2d:%2d%n", &offsetHours, &offsetMinutes, &zoneLength) != 2 || zoneLength != 5)
      return std::nullopt;
    offsetSeconds = (zone[0] == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  const std::time_t time = timegm(&parts);
  return std::chrono::system_clock::from_time_t(time - offsetSeconds);
}

}  // namespace

void Coding<Data>::encode(const Data& value, Encoder& encoder) {
  if (encoder.settings().dataEncodingStrategy == DataEncodingStrategy::deferredToData) {
    auto array = encoder.unkeyedContainer();
    for (const auto byte : value) array.encode<std::uint8_t>(byte);
    return;
  }
  encoder.json() = base64Encode(value);
}

Data Coding<Data>::decode(const Decoder& decoder) {
  if (decoder.settings().dataDecodingStrategy == DataDecodingStrategy::deferredToData) {
    auto array = decoder.unkeyedContainer();
    Data bytes;
    while (!array.isAtEnd()) bytes.push_back(array.decode<std::uint8_t>());
    return bytes;
  }
  auto bytes = base64Decode(decoder.requireString());
  if (!bytes) throw decoder.dataCorrupted("Encountered Data is not valid Base64.");
  return std::move(*bytes);
}

void Coding<Date>::encode(const Date& value, Encoder& encoder) {
  const auto& strategy = encoder.settings().dateEncodingStrategy;
  switch (strategy.kind) {
    case DateEncodingStrategy::Kind::deferredToDate:
      coding_detail::writeDouble(secondsSince1970(value) - kReferenceDateOffset, encoder);
      return;
    case DateEncodingStrategy::Kind::secondsSince1970:
      coding_detail::writeDouble(secondsSince1970(value), encoder);
      return;
    case DateEncodingStrategy::Kind::millisecondsSince1970:
      coding_detail::writeDouble(secondsSince1970(value) * 1000.0, encoder);
      return;
    case DateEncodingStrategy::Kind::iso8601:
      encoder.json() = formatInternetDate(value);
      return;
    case DateEncodingStrategy::Kind::custom:
      strategy.customEncode(value, encoder);
      return;
  }
}

Date Coding<Date>::decode(const Decoder& decoder) {
  const auto& strategy = decoder.settings().dateDecodingStrategy;
  switch (strategy.kind) {
    case DateDecodingStrategy::Kind::deferredToDate:
      return dateFromSecondsSince1970(coding_detail::readDouble(decoder, "Double") + kReferenceDateOffset);
    case DateDecodingStrategy::Kind::secondsSince1970:
      return dateFromSecondsSince1970(coding_detail::readDouble(decoder, "Double"));
    case DateDecodingStrategy::Kind::millisecondsSince1970:
      return dateFromSecondsSince1970(coding_detail::readDouble(decoder, "Double") / 1000.0);
    case DateDecodingStrategy::Kind::iso8601: {
      const std::string& text = decoder.requireString();
      if (auto date = parseInternetDate(text)) return *date;
      throw decoder.dataCorrupted("Expected date string to be ISO8601-formatted.");
    }
    case DateDecodingStrategy::Kind::custom:
      return strategy.customDecode(decoder);
  }
  throw decoder.dataCorrupted("Unknown date strategy.");
}

}  // namespace velmoria::base
