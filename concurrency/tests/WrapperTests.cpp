#include <stdexcept>
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

#include "concurrency/ActorIsolated.hpp"
#include "concurrency/AnyHashableSendable.hpp"
#include "concurrency/UncheckedSendable.hpp"

using namespace zirudeze::helpers;

namespace {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
  std::string description() const { return "Point(" + std::to_string(x) + ", " + std::to_string(y) + ")"; }
};

}  // namespace

template <>
struct std::hash<Point> {
  std::size_t operator()(const Point& p) const { return std::hash<int>{}(p.x * 31 + p.y); }
};

namespace {

TEST(AnyHashableSendable, WrappingAWrapperKeepsOneLevel) {
  const AnyHashableSendable inner(std::string("a\"b"));
  const AnyHashableSendable outer(inner);
  EXPECT_EQ(outer, inner);
  EXPECT_EQ(std::hash<AnyHashableSendable>{}(outer), std::hash<AnyHashableSendable>{}(inner));
  EXPECT_EQ(outer.debugDescription(), "AnyHashableSendable(\"a\\\"b\")");
  EXPECT_EQ(outer.description(), "a\"b");
}

TEST(AnyHashableSendable, EqualityNeedsTheSameTypeAndValue) {
  EXPECT_EQ(AnyHashableSendable(1), AnyHashableSendable(std::int64_t{1}));
  EXPECT_NE(AnyHashableSendable(1), AnyHashableSendable(1.0));
  EXPECT_NE(AnyHashableSendable(true), AnyHashableSendable(1));
  EXPECT_EQ(AnyHashableSendable("x"), AnyHashableSendable(std::string("x")));
  EXPECT_EQ(AnyHashableSendable(Point{1, 2}), AnyHashableSendable(Point{1, 2}));
  EXPECT_NE(AnyHashableSendable(Point{1, 2}), AnyHashableSendable(Point{2, 1}));
  const AnyHashableSendable point(Point{3, 4});
  ASSERT_NE(point.as<Point>(), nullptr);
  EXPECT_EQ(point.as<Point>()->y, 4);
  EXPECT_EQ(point.as<int>(), nullptr);
  EXPECT_EQ(point.debugDescription(), "AnyHashableSendable(Point(3, 4))");
  const std::unordered_set<AnyHashableSendable> keys{AnyHashableSendable(1), AnyHashableSendable("1"),
                                                     AnyHashableSendable(1)};
  EXPECT_EQ(keys.size(), 2u);
}

TEST(ActorIsolated, WithValueWritesBackAlsoOnFailureAndSetValueKeepsOldOnFailure) {
  ActorIsolated<int> value(1);
  EXPECT_THROW(value.withValue([](int& v) {
    v = 2;
    throw std::runtime_error("x");
  }),
               std::runtime_error);
  EXPECT_EQ(value.value(), 2);
  EXPECT_THROW(value.setValue([]() -> int { throw std::runtime_error("y"); }), std::runtime_error);
  EXPECT_EQ(value.value(), 2);
  value.setValue(7);
  EXPECT_EQ(value.withValue([](int& v) { return v * 2; }), 14);
}

TEST(UncheckedSendable, ComparesAndHashesByValue) {
  const UncheckedSendable<Point> a(Point{1, 2});
  EXPECT_EQ(a, UncheckedSendable<Point>(Point{1, 2}));
  EXPECT_EQ(std::hash<UncheckedSendable<Point>>{}(a), std::hash<Point>{}(Point{1, 2}));
  EXPECT_EQ(a[&Point::y], 2);
}

}  // namespace

#include <map>

#include "base/coding/JSONCoders.hpp"
#include "concurrency/UncheckedSendableCoding.hpp"

namespace {

TEST(UncheckedSendable, CodesAsTheWrappedValueItself) {
  using Wrapped = UncheckedSendable<std::map<std::string, int>>;
  const Wrapped wrapped(std::map<std::string, int>{{"a", 1}});
  const auto text = velmoria::base::JSONEncoder().encodeToString(wrapped);
  EXPECT_EQ(text, R"({"a":1})");
  EXPECT_EQ(velmoria::base::JSONDecoder().decode<Wrapped>(text), wrapped);
  EXPECT_EQ(velmoria::base::JSONDecoder().decode<UncheckedSendable<int>>("7").value, 7);
}

}  // namespace
