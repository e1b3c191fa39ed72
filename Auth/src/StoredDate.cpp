#include "StoredDate.hpp"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {
namespace {

using Nanoseconds = std::chrono::nanoseconds;

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
constexpr __int128 kReferenceOffsetNanos = static_cast<__int128>(978'307'200) * kNanosPerSecond;

}  // namespace

void encodeStoredDate(velmoria::base::Date date, velmoria::base::Encoder& encoder) {
  const __int128 nanos =
      static_cast<__int128>(std::chrono::duration_cast<Nanoseconds>(date.time_since_epoch()).count()) -
      kReferenceOffsetNanos;
  const bool negative = nanos < 0;
  const __int128 magnitude = negative ? -nanos : nanos;
  // Going through the exact decimal text rounds once, to the nearest double.
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%s%lld.%09lld", negative ? "-" : "",
                                   static_cast<long long>(magnitude / kNanosPerSecond),
                                   static_cast<long long>(magnitude % kNanosPerSecond));
  double seconds = 0;
  std::from_chars(text, text + length, seconds);
  velmoria::base::Coding<double>::encode(seconds, encoder);
}

velmoria::base::Date decodeStoredDate(const velmoria::base::Decoder& decoder) {
  const double seconds = velmoria::base::Coding<double>::decode(decoder);
  // The shortest text that reads back as this double is the decimal the writer meant.
  char text[400];
  const std::to_chars_result written = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed);
  const char* const end = written.ptr;
  const auto outOfRange = [&] {
    return decoder.dataCorrupted("Date value " + std::string(text, written.ec == std::errc() ? written.ptr : text) +
                                 " is outside the representable range.");
  };
  if (written.ec != std::errc()) throw outOfRange();

  const char* cursor = text;
  const bool negative = *cursor == '-';
  if (negative) ++cursor;
  __int128 wholeSeconds = 0;
  int integerDigits = 0;
  for (; cursor != end && *cursor != '.'; ++cursor) {
    if (++integerDigits > 12) throw outOfRange();
    wholeSeconds = wholeSeconds * 10 + (*cursor - '0');
  }
  __int128 fraction = 0;
  int fractionDigits = 0;
  bool roundUp = false;
  if (cursor != end) ++cursor;
  for (; cursor != end; ++cursor, ++fractionDigits) {
    if (fractionDigits < 9)
      fraction = fraction * 10 + (*cursor - '0');
    else if (fractionDigits == 9)
      roundUp = *cursor >= '5';
  }
  for (int digit = fractionDigits; digit < 9; ++digit) fraction *= 10;
  __int128 nanos = wholeSeconds * kNanosPerSecond + fraction + (roundUp ? 1 : 0);
  if (negative) nanos = -nanos;
  nanos += kReferenceOffsetNanos;

  using Duration = velmoria::base::Date::duration;
  const __int128 lowest = static_cast<__int128>(std::chrono::duration_cast<Nanoseconds>(Duration::min()).count());
  const __int128 highest = static_cast<__int128>(std::chrono::duration_cast<Nanoseconds>(Duration::max()).count());
  if (nanos < lowest || nanos > highest) throw outOfRange();
  return velmoria::base::Date(std::chrono::duration_cast<Duration>(Nanoseconds(static_cast<std::int64_t>(nanos))));
}

}  // namespace zirudeze::auth
