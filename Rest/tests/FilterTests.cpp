// Filter items and the rendering of operands.
#include <helpers/AnyJSON.hpp>

#include "RestTestSupport.hpp"

namespace zirudeze::rest::testing {
namespace {

using helpers::AnyJSON;

class FilterTest : public RestTest {
 protected:
  RestFilterBuilder builder() { return client().from("items").select("*"); }
  // The value of the last query item, with its name.
  static std::string last(const RestBuilder& builder) {
    const auto request = builder.request();
    return request.query.back().name + "=" + request.query.back().value.value_or("");
  }
};

TEST_F(FilterTest, OperatorsWriteTheirItems) {
  auto b = [this] { return builder(); };
  EXPECT_EQ(last(b().eq("user_id", "abc")), "user_id=eq.abc");
  EXPECT_EQ(last(b().is("ended_at", std::nullopt)), "ended_at=is.NULL");
  EXPECT_EQ(last(b().is("done", true)), "done=is.true");
  EXPECT_EQ(last(b().in("id", {1, 2, 3})), "id=in.(1,2,3)");
  EXPECT_EQ(last(b().in("id", std::vector<RestFilterValue>{})), "id=in.()");
  EXPECT_EQ(last(b().not_("id", Operator::in, "(1,2)")), "id=not.in.(1,2)");
  EXPECT_EQ(last(b().or_("id.eq.1,id.eq.2")), "or=(id.eq.1,id.eq.2)");
  EXPECT_EQ(last(b().or_("id.eq.1", "items")), "items.or=(id.eq.1)");
  EXPECT_EQ(last(b().likeAllOf("name", {"a%", "%b"})), "name=like(all).{a%,%b}");
  EXPECT_EQ(last(b().ilikeAnyOf("name", {"a%"})), "name=ilike(any).{a%}");
  EXPECT_EQ(last(b().contains("tags", std::vector<std::string>{"x", "y"})), "tags=cs.{x,y}");
  EXPECT_EQ(last(b().contains("data", helpers::JSONObject{{"b", 1}, {"a", "a/"}})), R"(data=cs.{"a":"a/","b":1})");
  EXPECT_EQ(last(b().rangeGte("r", "[1,5)")), "r=nxl.[1,5)");
  EXPECT_EQ(last(b().isDistinct("x", 3)), "x=isdistinct.3");
  EXPECT_EQ(last(b().textSearch("t", "cat", "english", TextSearchType::plain)), "t=plfts(english).cat");
  EXPECT_EQ(last(b().textSearch("t", "cat", std::nullopt, TextSearchType::websearch)), "t=wfts.cat");
  EXPECT_EQ(last(b().fts("t", "cat")), "t=fts.cat");
  EXPECT_EQ(last(b().phfts("t", "fat cat", "simple")), "t=phfts(simple).fat cat");
  EXPECT_EQ(last(b().filter("x", "not.eq", "a,b")), "x=not.eq.a,b");

  auto twice = b();
  twice.eq("id", 1).eq("id", 2).matchColumns({{"b", 2}, {"a", "x"}});
  const auto query = twice.request().query;
  ASSERT_EQ(query.size(), 5u);
  EXPECT_EQ(query[1].value, "eq.1");
  EXPECT_EQ(query[2].value, "eq.2");
  EXPECT_EQ(query[3].name + query[3].value.value(), "aeq.x");
  EXPECT_EQ(query[4].name + query[4].value.value(), "beq.2");
}

TEST(FilterValueTest, EachTypeRendersAsTheServiceReadsIt) {
  EXPECT_EQ(RestFilterValue(std::optional<int>{}).rawValue(), "NULL");
  EXPECT_EQ(RestFilterValue(std::optional<int>{4}).rawValue(), "4");
  EXPECT_EQ(RestFilterValue(AnyJSON::array({nullptr, 2})).rawValue(), "{NULL,2}");
  EXPECT_EQ(RestFilterValue(AnyJSON::array({"a", true, 1.5, AnyJSON::array({1})})).rawValue(), "{a,true,1.5,{1}}");
  EXPECT_EQ(RestFilterValue(AnyJSON::object({{"k", nullptr}})).rawValue(), R"({"k":null})");
  EXPECT_EQ(RestFilterValue(1.0).rawValue(), "1.0");
  EXPECT_EQ(RestFilterValue(0.1).rawValue(), "0.1");
  EXPECT_EQ(RestFilterValue(-2.5f).rawValue(), "-2.5");
  EXPECT_EQ(RestFilterValue(1e300).rawValue(), "1e+300");
  EXPECT_EQ(RestFilterValue(-7).rawValue(), "-7");
  EXPECT_EQ(RestFilterValue(std::uint64_t{18446744073709551615u}).rawValue(), "18446744073709551615");
  EXPECT_EQ(RestFilterValue(false).rawValue(), "false");
  EXPECT_EQ(RestFilterValue(*base::UUID::fromString("5b1f3c7e-2a4d-4e8f-9c1b-0d2e3f4a5b6c")).rawValue(),
            "5B1F3C7E-2A4D-4E8F-9C1B-0D2E3F4A5B6C");
  EXPECT_EQ(RestFilterValue(base::dateFromSecondsSince1970(1714564800)).rawValue(), "2024-05-01T12:00:00.000Z");
  EXPECT_EQ(RestFilterValue(base::Date(std::chrono::milliseconds(1714564800250))).rawValue(),
            "2024-05-01T12:00:00.250Z");
  EXPECT_EQ(RestFilterValue(std::vector<int>{}).rawValue(), "{}");
}

template <class Value>
concept RendersThroughFilterValue =
    std::constructible_from<RestFilterValue, Value> || std::convertible_to<Value, RestFilterValue>;
template <class B, class Value>
concept TakesAsIsValue = requires(B& builder, Value value) {
  builder.is("c", value);
};

TEST(FilterValueTest, LiteralsKeepTheirOwnType) {
  EXPECT_EQ(RestFilterValue("abc").rawValue(), "abc");
  EXPECT_EQ(RestFilterValue("true").rawValue(), "true");
  EXPECT_EQ(RestFilterValue("").rawValue(), "");
  EXPECT_EQ(RestFilterValue(1).rawValue(), "1");
  EXPECT_EQ(RestFilterValue(std::string_view("1.0")).rawValue(), "1.0");
  static_assert(!RendersThroughFilterValue<char>);
  static_assert(!RendersThroughFilterValue<const void*>);
  static_assert(!RendersThroughFilterValue<std::vector<char>>);
  static_assert(RendersThroughFilterValue<std::vector<std::optional<double>>>);
  static_assert(TakesAsIsValue<RestFilterBuilder, bool>);
  static_assert(TakesAsIsValue<RestFilterBuilder, std::nullopt_t>);
  static_assert(TakesAsIsValue<RestFilterBuilder, std::optional<bool>>);
  static_assert(!TakesAsIsValue<RestFilterBuilder, const char*>);
  static_assert(!TakesAsIsValue<RestFilterBuilder, int>);
}

TEST(FilterEnumerationTest, RawValuesRoundTrip) {
  EXPECT_EQ(allOperators.size(), 25u);
  for (const Operator op : allOperators) EXPECT_EQ(makeOperator(rawValue(op)), op);
  EXPECT_EQ(rawValue(Operator::isdistinct), "isdistinct");
  EXPECT_EQ(makeOperator("EQ"), std::nullopt);
  EXPECT_EQ(rawValue(TextSearchType::phrase), "ph");
  EXPECT_EQ(makeTextSearchType("w"), TextSearchType::websearch);
  EXPECT_EQ(makeCountOption("planned"), CountOption::planned);
  EXPECT_EQ(makeRestReturningOptions("all"), std::nullopt);
}

TEST_F(FilterTest, FiltersNarrowRowsOnTheService) {
  database.createTable({.name = "people",
                        .columns = {{.name = "name"}, {.name = "age", .type = ColumnType::integer}},
                        .primaryKey = {}});
  database.insert("people", Json::array({{{"name", "Ann"}, {"age", 30}},
                                         {{"name", "bob"}, {"age", 41}},
                                         {{"name", "Cy"}},
                                         {{"name", "Dee"}, {"age", 17}}}));
  const auto names = [](RestFilterBuilder& query) {
    std::vector<std::string> found;
    const auto response = query.order("name").execute<AnyJSON>();
    for (const auto& row : *response.value.arrayValue()) found.push_back(*row.objectValue()->at("name").stringValue());
    return found;
  };
  auto adults = client().from("people").select("name");
  adults.gte("age", 18).lt("age", 41);
  EXPECT_EQ(names(adults), std::vector<std::string>{"Ann"});
  auto either = client().from("people").select("name");
  either.or_("age.gt.40,name.ilike.c*");
  EXPECT_EQ(names(either), (std::vector<std::string>{"Cy", "bob"}));
  auto notIn = client().from("people").select("name");
  notIn.not_("age", Operator::in, "(17,30)");
  EXPECT_EQ(names(notIn), std::vector<std::string>{"bob"});
}

}  // namespace
}  // namespace zirudeze::rest::testing
