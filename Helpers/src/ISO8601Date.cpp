#include "helpers/ISO8601Date.hpp"

#include <chrono>
#include <cstdint>
#include <limits>

namespace zirudeze::helpers {
namespace {

using namespace std::chrono;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads `count` digits at `at`; false when any is not a digit.
bool readNumber(std::string_view text, std::size_t at, std::size_t count, int& out) {
  if (at + count > text.size()) return false;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!isDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  out = value;
  return true;
}

void writeDigits(char* out, unsigned value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

// Offset east of UTC in seconds, or nothing when the zone text is not one we accept.
std::optional<int> readZone(std::string_view zone) {
  if (zone.empty()) return 0;
  if (zone == "Z") return 0;
  if (zone[0] != '+' && zone[0] != '-') return std::nullopt;
  int hours = 0;
  int minutes = 0;
  if (zone.size() == 6 && zone[3] == ':') {
    if (!readNumber(zone, 1, 2, hours) || !readNumber(zone, 4, 2, minutes)) return std::nullopt;
  } else if (zone.size() == 5) {
    if (!readNumber(zone, 1, 2, hours) || !readNumber(zone, 3, 2, minutes)) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (hours > 23 || minutes > 59) return std::nullopt;
  const int offset = hours * 3600 + minutes * 60;
  return zone[0] == '-' ? -offset : offset;
}

}  // namespace

std::string formatISO8601Date(velmoria::base::Date date) {
  const auto millis = floor<milliseconds>(date);
  const auto day = floor<days>(millis);
  const year_month_day ymd{day};
  const hh_mm_ss<milliseconds> time{millis - day};

  char buffer[23];
  const int year = static_cast<int>(ymd.year());
  writeDigits(buffer, static_cast<unsigned>(year < 0 ? 0 : year), 4);
  buffer[4] = '-';
  writeDigits(buffer + 5, static_cast<unsigned>(ymd.month()), 2);
  buffer[7] = '-';
  writeDigits(buffer + 8, static_cast<unsigned>(ymd.day()), 2);
  buffer[10] = 'T';
  writeDigits(buffer + 11, static_cast<unsigned>(time.hours().count()), 2);
  buffer[13] = ':';
  writeDigits(buffer + 14, static_cast<unsigned>(time.minutes().count()), 2);
  buffer[16] = ':';
  writeDigits(buffer + 17, static_cast<unsigned>(time.seconds().count()), 2);
  buffer[19] = '.';
  writeDigits(buffer + 20, static_cast<unsigned>(time.subseconds().count()), 3);
  return std::string(buffer, sizeof buffer);
}

std::optional<velmoria::base::Date> parseISO8601Date(std::string_view text) {
  int yearValue = 0, monthValue = 0, dayValue = 0, hour = 0, minute = 0, second = 0;
  if (text.size() < 19 || !readNumber(text, 0, 4, yearValue) || text[4] != '-' || !readNumber(text, 5, 2, monthValue) ||
      text[7] != '-' || !readNumber(text, 8, 2, dayValue) || text[10] != 'T' || !readNumber(text, 11, 2, hour) ||
      text[13] != ':' || !readNumber(text, 14, 2, minute) || text[16] != ':' || !readNumber(text, 17, 2, second))
    return std::nullopt;

  std::size_t at = 19;
  std::int64_t nanos = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    const std::size_t first = at;
    while (at < text.size() && isDigit(text[at]) && at - first < 9) {
      nanos = nanos * 10 + (text[at] - '0');
      ++at;
    }
    const std::size_t digits = at - first;
    if (digits == 0 || (at < text.size() && isDigit(text[at]))) return std::nullopt;
    for (std::size_t i = digits; i < 9; ++i) nanos *= 10;
  }
  const auto offset = readZone(text.substr(at));
  if (!offset) return std::nullopt;

  const year_month_day ymd{year{yearValue}, month{static_cast<unsigned>(monthValue)},
                           day{static_cast<unsigned>(dayValue)}};
  if (!ymd.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;

  const std::int64_t seconds =
      std::int64_t{sys_days(ymd).time_since_epoch().count()} * 86400 + hour * 3600 + minute * 60 + second - *offset;
  // The clock counts nanoseconds in 64 bits: roughly the years 1678 to 2261.
  constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 1'000'000'000 - 1;
  if (seconds > limit || seconds < -limit) return std::nullopt;
  return velmoria::base::Date(
      duration_cast<velmoria::base::Date::duration>(std::chrono::seconds(seconds) + nanoseconds(nanos)));
}

}  // namespace zirudeze::helpers
