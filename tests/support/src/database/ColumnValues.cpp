#include "ColumnValues.hpp"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "base/UUID.hpp"
#include "base/Unicode.hpp"

namespace velmoria::testsupport::database {
namespace {

std::string_view typeName(ColumnType type) {
  switch (type) {
    case ColumnType::text:
      return "text";
    case ColumnType::uuid:
      return "uuid";
    case ColumnType::integer:
      return "bigint";
    case ColumnType::real:
      return "double precision";
    case ColumnType::boolean:
      return "boolean";
    case ColumnType::timestamp:
      return "timestamp with time zone";
    case ColumnType::json:
      return "jsonb";
  }
  return "unknown";
}

FakeDatabaseError invalidInput(ColumnType type, std::string_view text) {
  return FakeDatabaseError(
      400, "22P02",
      "invalid input syntax for type " + std::string(typeName(type)) + ": \"" + base::repairUTF8(text) + "\"");
}

std::string lowerASCII(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<std::int64_t> integerFrom(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> realFrom(std::string_view text) {
  const std::string lower = lowerASCII(std::string(text));
  if (lower == "nan") return NAN;
  if (lower == "infinity" || lower == "inf") return INFINITY;
  if (lower == "-infinity" || lower == "-inf") return -INFINITY;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<bool> booleanFrom(std::string_view text) {
  const std::string lower = lowerASCII(std::string(text));
  if (lower == "true" || lower == "t" || lower == "yes" || lower == "y" || lower == "on" || lower == "1") return true;
  if (lower == "false" || lower == "f" || lower == "no" || lower == "n" || lower == "off" || lower == "0") return false;
  return std::nullopt;
}

// One value of the type from text, as the column would read it.
Json fromText(std::string_view text, ColumnType type) {
  switch (type) {
    case ColumnType::text:
      return std::string(text);
    case ColumnType::uuid:
      if (auto uuid = base::UUID::fromString(text)) return lowerASCII(uuid->uuidString());
      break;
    case ColumnType::integer:
      if (auto value = integerFrom(text)) return *value;
      break;
    case ColumnType::real:
      if (auto value = realFrom(text)) return *value;
      break;
    case ColumnType::boolean:
      if (auto value = booleanFrom(text)) return *value;
      break;
    case ColumnType::timestamp:
      if (auto value = parseTimestamp(text)) return formatTimestamp(*value);
      break;
    case ColumnType::json: {
      Json parsed = Json::parse(text.begin(), text.end(), nullptr, false);
      if (!parsed.is_discarded()) return parsed;
      break;
    }
  }
  throw invalidInput(type, text);
}

int threeWay(auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); }

bool readDigits(std::string_view text, std::size_t& at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  at += count;
  return true;
}

// The length of the UTF-8 sequence that starts with `lead` (1 for stray bytes).
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

bool like(std::string_view text, std::string_view pattern) {
  std::size_t t = 0;
  std::size_t p = 0;
  std::optional<std::size_t> starPattern;
  std::size_t starText = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '%' || pattern[p] == '*')) {
      starPattern = ++p;
      starText = t;
      continue;
    }
    if (p < pattern.size() && pattern[p] == '_') {
      t += sequenceLength(static_cast<unsigned char>(text[t]));
      ++p;
      continue;
    }
    if (p < pattern.size()) {
      std::size_t literal = p;
      if (pattern[literal] == '\\' && literal + 1 < pattern.size()) ++literal;
      if (pattern[literal] == text[t]) {
        p = literal + 1;
        ++t;
        continue;
      }
    }
    if (!starPattern) return false;
    p = *starPattern;
    starText += sequenceLength(static_cast<unsigned char>(text[starText]));
    t = starText;
  }
  while (p < pattern.size() && (pattern[p] == '%' || pattern[p] == '*')) ++p;
  return p == pattern.size();
}

}  // namespace

Json storedValue(const FakeColumn& column, const Json& value) {
  if (value.is_null()) return nullptr;
  switch (column.type) {
    case ColumnType::json:
      return value;
    case ColumnType::integer:
      if (value.is_number_integer()) return value.get<std::int64_t>();
      if (value.is_number_float() && std::trunc(value.get<double>()) == value.get<double>())
        return static_cast<std::int64_t>(value.get<double>());
      break;
    case ColumnType::real:
      if (value.is_number()) return value.get<double>();
      break;
    case ColumnType::boolean:
      if (value.is_boolean()) return value;
      break;
    default:
      break;
  }
  if (value.is_string()) return fromText(value.get_ref<const std::string&>(), column.type);
  throw invalidInput(column.type, value.dump(-1, ' ', false, Json::error_handler_t::replace));
}

Json operandValue(std::string_view text, ColumnType type) { return fromText(text, type); }

int compareValues(const Json& a, const Json& b, ColumnType type) {
  switch (type) {
    case ColumnType::integer:
      if (a.is_number_integer() && b.is_number_integer()) return threeWay(a.get<std::int64_t>(), b.get<std::int64_t>());
      return threeWay(a.get<double>(), b.get<double>());
    case ColumnType::real:
      return threeWay(a.get<double>(), b.get<double>());
    case ColumnType::boolean:
      return threeWay(a.get<bool>(), b.get<bool>());
    case ColumnType::timestamp:
      return threeWay(parseTimestamp(a.get_ref<const std::string&>()).value_or(0),
                      parseTimestamp(b.get_ref<const std::string&>()).value_or(0));
    case ColumnType::json:
      if (a == b) return 0;
      return threeWay(a.dump(), b.dump());
    case ColumnType::text:
    case ColumnType::uuid:
      break;
  }
  if (a.is_string() && b.is_string()) return a.get_ref<const std::string&>().compare(b.get_ref<const std::string&>());
  return threeWay(a.dump(), b.dump());
}

ColumnType inferredType(const Json& value) {
  if (value.is_boolean()) return ColumnType::boolean;
  if (value.is_number_integer()) return ColumnType::integer;
  if (value.is_number()) return ColumnType::real;
  if (value.is_string()) return ColumnType::text;
  return ColumnType::json;
}

std::optional<std::int64_t> parseTimestamp(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::size_t at = 0;
  if (!readDigits(text, at, 4, year) || at >= text.size() || text[at++] != '-' || !readDigits(text, at, 2, month) ||
      at >= text.size() || text[at++] != '-' || !readDigits(text, at, 2, day)) {
    return std::nullopt;
  }
  std::int64_t fraction = 0;
  if (at < text.size() && (text[at] == 'T' || text[at] == 't' || text[at] == ' ')) {
    ++at;
    if (!readDigits(text, at, 2, hour) || at >= text.size() || text[at++] != ':' || !readDigits(text, at, 2, minute))
      return std::nullopt;
    if (at < text.size() && text[at] == ':') {
      ++at;
      if (!readDigits(text, at, 2, second)) return std::nullopt;
      if (at < text.size() && text[at] == '.') {
        ++at;
        std::int64_t scale = 100000;
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
          fraction += (text[at] - '0') * scale;
          scale /= 10;
          ++at;
        }
        if (at == start) return std::nullopt;
      }
    }
  }
  int offsetMinutes = 0;
  if (at < text.size()) {
    if (text[at] == 'Z' || text[at] == 'z') {
      ++at;
    } else if (text[at] == '+' || text[at] == '-') {
      const int sign = text[at++] == '-' ? -1 : 1;
      int zoneHours = 0, zoneMinutes = 0;
      if (!readDigits(text, at, 2, zoneHours)) return std::nullopt;
      if (at < text.size() && text[at] == ':') ++at;
      if (at < text.size() && !readDigits(text, at, 2, zoneMinutes)) return std::nullopt;
      offsetMinutes = sign * (zoneHours * 60 + zoneMinutes);
    }
  }
  if (at != text.size()) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const auto days = std::chrono::sys_days(date).time_since_epoch().count();
  const std::int64_t seconds =
      static_cast<std::int64_t>(days) * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
  return seconds * 1000000 + fraction;
}

std::string formatTimestamp(std::int64_t microseconds) {
  using namespace std::chrono;
  const sys_time<std::chrono::microseconds> instant{std::chrono::microseconds(microseconds)};
  const auto day = floor<days>(instant);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::microseconds> time{instant - day};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  std::string text = buffer;
  if (const auto fraction = time.subseconds().count(); fraction != 0) {
    std::snprintf(buffer, sizeof buffer, ".%06lld", static_cast<long long>(fraction));
    std::string digits = buffer;
    while (digits.back() == '0') digits.pop_back();
    text += digits;
  }
  return text + "+00:00";
}

bool likeMatches(std::string_view text, std::string_view pattern, bool ignoringCase) {
  if (!ignoringCase) return like(text, pattern);
  return like(base::lowercased(text), base::lowercased(pattern));
}

}  // namespace velmoria::testsupport::database
