#include <gtest/gtest.h>

#include "helpers/ISO8601Date.hpp"

namespace zirudeze::helpers {
namespace {

using namespace std::chrono;

velmoria::base::Date utc(int y, unsigned mo, unsigned d, int h, int mi, int s, nanoseconds fraction = nanoseconds(0)) {
  return velmoria::base::Date(sys_days(year{y} / mo / d) + hours(h) + minutes(mi) + seconds(s) + fraction);
}

TEST(ISO8601Date, FormatsMillisecondsInUTCWithoutAZone) {
  EXPECT_EQ(formatISO8601Date(utc(2024, 3, 5, 17, 4, 9, milliseconds(250))), "2024-03-05T17:04:09.250");
  EXPECT_EQ(formatISO8601Date(utc(2024, 3, 5, 17, 4, 9)), "2024-03-05T17:04:09.000");
  // Sub-millisecond parts are cut, never rounded up into the next second.
  EXPECT_EQ(formatISO8601Date(utc(1999, 12, 31, 23, 59, 59, nanoseconds(999'999'999))), "1999-12-31T23:59:59.999");
  EXPECT_EQ(formatISO8601Date(utc(1969, 12, 31, 23, 59, 59, microseconds(1500))), "1969-12-31T23:59:59.001");
  EXPECT_EQ(formatISO8601Date(velmoria::base::Date{}), "1970-01-01T00:00:00.000");
}

TEST(ISO8601Date, ParsesWithAndWithoutAFraction) {
  EXPECT_EQ(parseISO8601Date("2024-03-05T17:04:09.250"), utc(2024, 3, 5, 17, 4, 9, milliseconds(250)));
  EXPECT_EQ(parseISO8601Date("2024-03-05T17:04:09"), utc(2024, 3, 5, 17, 4, 9));
  EXPECT_EQ(parseISO8601Date("2024-03-05T17:04:09.2"), utc(2024, 3, 5, 17, 4, 9, milliseconds(200)));
  EXPECT_EQ(parseISO8601Date("2024-02-29T00:00:00"), utc(2024, 2, 29, 0, 0, 0));
}

TEST(ISO8601Date, ReadsDatabaseTimestampsWithLongFractionsAndZones) {
  EXPECT_EQ(parseISO8601Date("2026-12-09T10:15:09.250123+00:00"), utc(2026, 12, 9, 10, 15, 9, microseconds(250123)));
  EXPECT_EQ(parseISO8601Date("2026-12-09T15:45:09.250123+05:30"), utc(2026, 12, 9, 10, 15, 9, microseconds(250123)));
  EXPECT_EQ(parseISO8601Date("2026-12-09T05:15:09-0500"), utc(2026, 12, 9, 10, 15, 9));
  EXPECT_EQ(parseISO8601Date("2026-12-09T10:15:09.123456789Z"), utc(2026, 12, 9, 10, 15, 9, nanoseconds(123456789)));
  EXPECT_EQ(parseISO8601Date("2026-12-09T10:15:09Z"), utc(2026, 12, 9, 10, 15, 9));
  // An offset that crosses midnight moves the date too.
  EXPECT_EQ(parseISO8601Date("2027-01-01T01:30:00+02:00"), utc(2026, 12, 31, 23, 30, 0));
}

TEST(ISO8601Date, RefusesOtherTexts) {
  for (const char* text : {"", "2024-03-05", "2024-03-05T17:04", "2024-03-05 17:04:09", "2024-03-05T17:04:09.",
                           "2024-03-05T17:04:09.1234567890", "2024-03-05T17:04:09+05", "2024-03-05T17:04:09+5:30",
                           "2024-03-05T17:04:09 ", "2024-03-05T17:04:09Zjunk", "2024-13-05T17:04:09",
                           "2023-02-29T17:04:09", "2024-03-05T24:00:00", "2024-03-05T17:60:09", "2024-03-05T17:04:60",
                           "2024-03-05T17:04:09+24:00", "2O24-03-05T17:04:09", "+2024-03-05T17:04:09"}) {
    EXPECT_EQ(parseISO8601Date(text), std::nullopt) << text;
  }
}

TEST(ISO8601Date, RefusesInstantsTheClockCannotHold) {
  EXPECT_EQ(parseISO8601Date("0001-01-01T00:00:00"), std::nullopt);
  EXPECT_EQ(parseISO8601Date("9999-12-31T23:59:59.999"), std::nullopt);
  EXPECT_TRUE(parseISO8601Date("2200-01-01T00:00:00").has_value());
}

TEST(ISO8601Date, FormattedTextReadsBackToTheSameMillisecond) {
  const velmoria::base::Date start = utc(2024, 3, 5, 17, 4, 9, nanoseconds(250'987'654));
  for (int step = 0; step < 1000; ++step) {
    const velmoria::base::Date date = start + hours(7 * step) + microseconds(12'345 * step);
    const auto parsed = parseISO8601Date(formatISO8601Date(date));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, floor<milliseconds>(date));
  }
}

}  // namespace
}  // namespace zirudeze::helpers
