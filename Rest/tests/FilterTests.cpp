// Filter items and the rendering of operands.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "RestTestSupport.hpp"
#include "helpers/AnyJSON.hpp"

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
  EXPECT_EQ(last(b().not_("id", Operator::in, std::vector<int>{1, 2})), "id=not.in.(1,2)");
  EXPECT_EQ(last(b().not_("tags", Operator::in, std::vector<std::string>{"a,b", "c"})), R"(tags=not.in.("a,b",c))");
  EXPECT_EQ(last(b().not_("tags", Operator::cs, std::vector<int>{1, 2})), "tags=not.cs.{1,2}");
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
  EXPECT_EQ(RestFilterValue(*velmoria::base::UUID::fromString("5b1f3c7e-2a4d-4e8f-9c1b-0d2e3f4a5b6c")).rawValue(),
            "5B1F3C7E-2A4D-4E8F-9C1B-0D2E3F4A5B6C");
  EXPECT_EQ(RestFilterValue(velmoria::base::dateFromSecondsSince1970(1714564800)).rawValue(),
            "2024-05-01T12:00:00.000Z");
  EXPECT_EQ(RestFilterValue(velmoria::base::Date(std::chrono::milliseconds(1714564800250))).rawValue(),
            "2024-05-01T12:00:00.250Z");
  EXPECT_EQ(RestFilterValue(std::vector<int>{}).rawValue(), "{}");
}

// Caller text inside a list or array must stay one element: quoted where the service's list syntax
// would otherwise split or reshape it, untouched where it would not.
TEST_F(FilterTest, ListAndArrayElementsAreQuotedWhereTheListSyntaxNeedsIt) {
  struct Case {
    std::string element;
    std::string written;
  };
  const std::vector<Case> elements = {
      {"plain", "plain"},
      {"a,b", R"("a,b")"},
      {"f(x)", R"-("f(x)")-"},
      {"{x}", R"("{x}")"},
      {R"(say "hi")", R"("say \"hi\"")"},
      {R"(back\slash)", R"("back\\slash")"},
      {"two words", R"("two words")"},
      {"tab\there", "\"tab\there\""},
      {"line\nbreak", "\"line\nbreak\""},
      {"", R"("")"},
      {"NULL", R"("NULL")"},
      {"Null", R"("Null")"},
      {"NULLS", "NULLS"},
      {"a.b:c*%", "a.b:c*%"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},
  };
  auto b = [this] { return builder(); };
  for (const auto& [element, written] : elements) {
    EXPECT_EQ(last(b().in("name", {element, "z"})), "name=in.(" + written + ",z)") << element;
    EXPECT_EQ(last(b().contains("tags", std::vector<std::string>{element})), "tags=cs.{" + written + "}") << element;
    EXPECT_EQ(last(b().containedBy("tags", std::vector<std::string>{"z", element})), "tags=cd.{z," + written + "}")
        << element;
    EXPECT_EQ(last(b().overlaps("tags", AnyJSON::array({element}))), "tags=ov.{" + written + "}") << element;
    EXPECT_EQ(last(b().likeAnyOf("name", {element})), "name=like(any).{" + written + "}") << element;
    // A single value is the operand itself.
    EXPECT_EQ(last(b().eq("name", element)), "name=eq." + element) << element;
  }

  // Nested arrays stay arrays, absent values stay NULL, and JSON objects are one quoted element each.
  EXPECT_EQ(last(b().contains("grid", std::vector<std::vector<std::string>>{{"a,b", "c"}, {"d"}})),
            R"(grid=cs.{{"a,b",c},{d}})");
  EXPECT_EQ(last(b().overlaps("tags", AnyJSON::array({"a}", nullptr, AnyJSON::array({"b c", 1})}))),
            R"(tags=ov.{"a}",NULL,{"b c",1}})");
  EXPECT_EQ(last(b().in("x", {std::optional<std::string>{}, "NULL", 1.5, 2})), R"-(x=in.(NULL,"NULL",1.5,2))-");
  EXPECT_EQ(last(b().contains("docs", AnyJSON::array({AnyJSON::object({{"k", "v w"}})}))),
            R"(docs=cs.{"{\"k\":\"v w\"}"})");
  EXPECT_EQ(last(b().contains("doc", helpers::JSONObject{{"k", "v,w"}})), R"(doc=cs.{"k":"v,w"})");
}

// The shortest decimal that reads back, never an exponent for ordinary magnitudes.
TEST(FilterValueTest, DoublesAreTheShortestPlainDecimalThatReadsBack) {
  struct Case {
    double value;
    std::string written;
  };
  const std::vector<Case> doubles = {
      {100000.0, "100000.0"},
      {123456.0, "123456.0"},
      {1e6, "1000000.0"},
      {1e15, "1000000000000000.0"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e16, "1e+16"},
      {-1.5e17, "-1.5e+17"},
      {1e300, "1e+300"},
      {0.0001, "0.0001"},
      {1e-6, "0.000001"},
      {-2.5e-6, "-0.0000025"},
      {1e-7, "1e-07"},
      {5e-324, "5e-324"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {123456789.125, "123456789.125"},
  };
  for (const auto& [value, written] : doubles) {
    const std::string text = RestFilterValue(value).rawValue();
    EXPECT_EQ(text, written);
    const double readBack = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&readBack, &value, sizeof value), 0) << text;
  }
  EXPECT_EQ(RestFilterValue(std::nan("")).rawValue(), "nan");
  EXPECT_EQ(RestFilterValue(-HUGE_VAL).rawValue(), "-inf");
  EXPECT_EQ(RestFilterValue(AnyJSON::array({100000.0, 1e-7})).rawValue(), "{100000.0,1e-07}");
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

  // One element holding a comma matches that name only, not the names on either side of it.
  database.insert("people", Json::array({{{"name", "Ann,bob"}}, {{"name", "say \"hi\""}}}));
  auto listed = client().from("people").select("name");
  listed.in("name", {"Ann,bob", R"(say "hi")"});
  EXPECT_EQ(names(listed), (std::vector<std::string>{"Ann,bob", R"(say "hi")"}));
  EXPECT_NE(backend.lastRequest().rawQuery.find("name=in.%28%22Ann%2Cbob%22%2C%22say%20%5C%22hi%5C%22%22%29"),
            std::string::npos)
      << backend.lastRequest().rawQuery;
}

}  // namespace
}  // namespace zirudeze::rest::testing
