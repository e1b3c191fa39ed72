#pragma once

#include <functional>

#include "base/Date.hpp"

namespace velmoria::base {

class Encoder;
class Decoder;

enum class KeyEncodingStrategy { useDefaultKeys, convertToSnakeCase };
enum class KeyDecodingStrategy { useDefaultKeys, convertFromSnakeCase };

// How instants are written. The default writes seconds since 2001-01-01 as a number.
struct DateEncodingStrategy {
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, custom };
  Kind kind = Kind::deferredToDate;
  std::function<void(Date, Encoder&)> customEncode;

  static DateEncodingStrategy custom(std::function<void(Date, Encoder&)> encode) {
    return {Kind::custom, std::move(encode)};
  }
};

struct DateDecodingStrategy {
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, custom };
  Kind kind = Kind::deferredToDate;
  std::function<Date(const Decoder&)> customDecode;

  static DateDecodingStrategy custom(std::function<Date(const Decoder&)> decode) {
    return {Kind::custom, std::move(decode)};
  }
};

enum class DataEncodingStrategy { base64, deferredToData };
enum class DataDecodingStrategy { base64, deferredToData };

struct OutputFormatting {
  bool prettyPrinted = false;
  bool sortedKeys = false;
};

struct EncoderSettings {
  KeyEncodingStrategy keyEncodingStrategy = KeyEncodingStrategy::useDefaultKeys;
  DateEncodingStrategy dateEncodingStrategy;
  DataEncodingStrategy dataEncodingStrategy = DataEncodingStrategy::base64;
  OutputFormatting outputFormatting;
};

struct DecoderSettings {
  KeyDecodingStrategy keyDecodingStrategy = KeyDecodingStrategy::useDefaultKeys;
  DateDecodingStrategy dateDecodingStrategy;
  DataDecodingStrategy dataDecodingStrategy = DataDecodingStrategy::base64;
};

}  // namespace velmoria::base
