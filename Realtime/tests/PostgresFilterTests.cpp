#include <cstdlib>
#include <ctime>
#include <limits>

#include <gtest/gtest.h>

#include "realtime/RealtimePostgresFilter.hpp"

namespace zirudeze::realtime {
namespace {

using Filter = RealtimePostgresFilter;

TEST(PostgresFilterText, ComparisonsJoinColumnOperatorAndValue) {
  EXPECT_EQ(Filter::eq("id", 42).filterString(), "id=eq.42");
  EXPECT_EQ(Filter::neq("status", "open").filterString(), "status=neq.open");
  EXPECT_EQ(Filter::gt("n", -7).filterString(), "n=gt.-7");
  EXPECT_EQ(Filter::gte("score", 2.0).filterString(), "score=gte.2.0");
  EXPECT_EQ(Filter::lt("done", false).filterString(), "done=lt.false");
  EXPECT_EQ(Filter::lte("done", true).filterString(), "done=lte.true");
}

TEST(PostgresFilterText, ListsJoinWithCommasAndNothingIsEscaped) {
  EXPECT_EQ(Filter::in("id", {1, 2, 3}).filterString(), "id=in.(1,2,3)");
  EXPECT_EQ(Filter::in("id", {}).filterString(), "id=in.()");
  EXPECT_EQ(Filter::in("name", {"a,b", "c"}).filterString(), "name=in.(a,b,c)");
  EXPECT_EQ(Filter::eq("a=b", "x.(y)").filterString(), "a=b=eq.x.(y)");
}

TEST(PostgresFilterValues, DoublesUseTheShortestRoundTripText) {
  EXPECT_EQ(doubleFilterText(2.0), "2.0");
  EXPECT_EQ(doubleFilterText(0.1), "0.1");
  EXPECT_EQ(doubleFilterText(-0.0), "-0.0");
  EXPECT_EQ(doubleFilterText(1000000.0), "1000000.0");
  EXPECT_EQ(doubleFilterText(1e16), "1e+16");
  EXPECT_EQ(doubleFilterText(0.00001), "1e-05");
  EXPECT_EQ(doubleFilterText(123.456), "123.456");
  EXPECT_EQ(doubleFilterText(std::numeric_limits<double>::infinity()), "inf");
}

TEST(PostgresFilterValues, UUIDsRenderInUpperCase) {
  const auto id = *velmoria::base::UUID::fromString("6f1c2a3b-4d5e-4f60-8a9b-0c1d2e3f4a5b");
  EXPECT_EQ(Filter::eq("id", id).filterString(), "id=eq.6F1C2A3B-4D5E-4F60-8A9B-0C1D2E3F4A5B");
}

TEST(PostgresFilterValues, DatesRenderInUTCWithMillisecondsWhateverTheLocalZone) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "";
  ::setenv("TZ", "Asia/Kolkata", 1);
  ::tzset();
  const velmoria::base::Date date =
      velmoria::base::Date(std::chrono::milliseconds(1709658249250));  // 2024-03-05 17:04:09.250 UTC
  EXPECT_EQ(RealtimePostgresFilterValue(date).rawValue(), "2024-03-05T17:04:09.250Z");
  EXPECT_EQ(RealtimePostgresFilterValue(velmoria::base::Date(std::chrono::seconds(0))).rawValue(),
            "1970-01-01T00:00:00.000Z");
  if (saved) {
    ::setenv("TZ", previous.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace
}  // namespace zirudeze::realtime
