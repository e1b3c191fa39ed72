#include <cmath>
#include <limits>
#include <unordered_set>

#include <gtest/gtest.h>

#include "helpers/AnyJSON.hpp"

namespace zirudeze::helpers {
namespace {

using namespace std::chrono;

AnyJSON decode(std::string_view text) { return JSONDecoder::shared().decode<AnyJSON>(text); }

velmoria::base::DecodingError decodingError(std::string_view text) {
  try {
    decode(text);
  } catch (const velmoria::base::DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "decoded " << text.substr(0, 40);
  return velmoria::base::DecodingError::dataCorrupted({});
}

TEST(AnyJSON, DecodesEachCaseAndEncodesItBack) {
  const AnyJSON value = decode(R"([1, 1.5, "a", true, null, {"k": []}])");
  const JSONArray& elements = *value.arrayValue();
  ASSERT_EQ(elements.size(), 6u);
  EXPECT_EQ(elements[0].kind(), AnyJSON::Kind::integer);
  EXPECT_EQ(elements[0].intValue(), 1);
  EXPECT_EQ(elements[1].doubleValue(), 1.5);
  EXPECT_EQ(*elements[2].stringValue(), "a");
  EXPECT_EQ(elements[3].boolValue(), true);
  EXPECT_TRUE(elements[4].isNil());
  ASSERT_NE(elements[5].objectValue(), nullptr);
  EXPECT_TRUE(elements[5].objectValue()->at("k").arrayValue()->empty());

  EXPECT_EQ(JSONEncoder::shared().encodeToString(value), R"([1,1.5,"a",true,null,{"k":[]}])");
  EXPECT_EQ(AnyJSON::parse(R"([1, 1.5, "a", true, null, {"k": []}])"), value);
  EXPECT_EQ(value.value(), velmoria::base::Json::parse(R"([1, 1.5, "a", true, null, {"k": []}])"));
}

TEST(AnyJSON, KeepsIntegersAndDoublesApart) {
  EXPECT_EQ(decode("18446744073709551615").kind(), AnyJSON::Kind::double_);
  EXPECT_EQ(decode("9223372036854775807").intValue(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(decode("-9223372036854775808").intValue(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(decode("-9223372036854775809").kind(), AnyJSON::Kind::double_);
  // A fraction or an exponent makes a double even when the value is integral.
  EXPECT_EQ(decode("2.0").kind(), AnyJSON::Kind::double_);
  EXPECT_EQ(decode("1e2").kind(), AnyJSON::Kind::double_);
  EXPECT_EQ(decode("true").kind(), AnyJSON::Kind::bool_);

  EXPECT_NE(AnyJSON(2), AnyJSON(2.0));
  EXPECT_EQ(AnyJSON(2.0).intValue(), std::nullopt);
  EXPECT_EQ(AnyJSON(2).doubleValue(), std::nullopt);
  EXPECT_EQ(AnyJSON(std::uint64_t{18446744073709551615ULL}).kind(), AnyJSON::Kind::double_);
  EXPECT_EQ(AnyJSON(std::size_t{7}).intValue(), 7);
  EXPECT_EQ(AnyJSON::parse("18446744073709551615")->kind(), AnyJSON::Kind::double_);
  EXPECT_EQ(AnyJSON::parse("1e400"), std::nullopt);
}

TEST(AnyJSON, ObjectsAreEqualAndHashAlikeInAnyOrder) {
  const AnyJSON a = decode(R"({"x": 1, "y": [true, null], "z": {"p": "q", "r": 2.5}})");
  const AnyJSON b = decode(R"({"z": {"r": 2.5, "p": "q"}, "y": [true, null], "x": 1})");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.hashValue(), b.hashValue());

  EXPECT_NE(a, decode(R"({"x": 1, "y": [null, true], "z": {"p": "q", "r": 2.5}})")) << "arrays keep their order";
  EXPECT_NE(a, decode(R"({"x": 1, "y": [true, null]})"));
  EXPECT_NE(a, decode(R"({"x": 1.0, "y": [true, null], "z": {"p": "q", "r": 2.5}})"));
  EXPECT_NE(decode(R"({"a": 1})"), decode(R"({"b": 1})"));
  EXPECT_NE(AnyJSON(JSONObject{}), AnyJSON(JSONArray{}));
  EXPECT_NE(AnyJSON(), AnyJSON(false));
}

TEST(AnyJSON, ComparesTextByCanonicalEquivalence) {
  const AnyJSON precomposed("caf\u00e9");
  const AnyJSON decomposed("cafe\u0301");
  EXPECT_EQ(precomposed, decomposed);
  EXPECT_EQ(precomposed.hashValue(), decomposed.hashValue());
  EXPECT_NE(precomposed, AnyJSON("cafe"));

  // Keys too: the same object whichever form its keys arrive in.
  const AnyJSON left = AnyJSON::object({{"\u00e9t\u00e9", 1}, {"a", 2}});
  const AnyJSON right = AnyJSON::object({{"e\u0301te\u0301", 1}, {"a", 2}});
  EXPECT_EQ(left, right);
  EXPECT_EQ(left.hashValue(), right.hashValue());
  EXPECT_NE(left, AnyJSON::object({{"e\u0301te\u0301", 2}, {"a", 2}}));

  std::unordered_set<AnyJSON> set{precomposed, left};
  EXPECT_EQ(set.count(decomposed), 1u);
  EXPECT_EQ(set.count(right), 1u);
}

TEST(AnyJSON, DoublesFollowIEEEEquality) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(AnyJSON(nan), AnyJSON(nan));
  EXPECT_EQ(AnyJSON(0.0), AnyJSON(-0.0));
  EXPECT_EQ(AnyJSON(0.0).hashValue(), AnyJSON(-0.0).hashValue());
  EXPECT_NE(AnyJSON(0.0).hashValue(), AnyJSON(0).hashValue()) << "the case is part of the hash";
}

TEST(AnyJSON, DescribesValuesLikePlainValues) {
  EXPECT_EQ(AnyJSON().description(), "<null>");
  EXPECT_EQ(AnyJSON("a").description(), "a");
  EXPECT_EQ(AnyJSON::array({"a"}).description(), "[\"a\"]");
  EXPECT_EQ(AnyJSON(1.0).description(), "1.0");
  EXPECT_EQ(AnyJSON(0.5).description(), "0.5");
  EXPECT_EQ(AnyJSON(-3).description(), "-3");
  EXPECT_EQ(AnyJSON(false).description(), "false");
  EXPECT_EQ(AnyJSON(JSONObject{}).description(), "[:]");
  EXPECT_EQ(AnyJSON::array({1, AnyJSON(), AnyJSON::object({{"k", "say \"hi\""}})}).description(),
            R"([1, <null>, ["k": "say \"hi\""]])");
}

TEST(AnyJSON, ConvertsFromAndToTypedValues) {
  struct Stamp {
    std::string label;
    velmoria::base::Date at;
    void encode(velmoria::base::Encoder& encoder) const {
      auto c = encoder.container();
      c.encode("label", label);
      c.encode("at", at);
    }
    static Stamp decode(const velmoria::base::Decoder& decoder) {
      const auto c = decoder.container();
      return {c.decode<std::string>("label"), c.decode<velmoria::base::Date>("at")};
    }
  };
  const velmoria::base::Date at(sys_days(2024y / 3 / 5) + 17h + 4min + 9s + 250ms);
  const AnyJSON json = AnyJSON::fromEncodable(Stamp{"start", at});
  EXPECT_EQ(json, AnyJSON::object({{"label", "start"}, {"at", "2024-03-05T17:04:09.250"}}));
  EXPECT_EQ(json.decode<Stamp>().at, at);
  EXPECT_EQ(decodeJSONObject<Stamp>(*json.objectValue()).label, "start");
  EXPECT_EQ(decodeJSONArray<int>({1, 2, 3}), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(AnyJSON::fromEncodable(std::string("x")), AnyJSON("x"));
  EXPECT_EQ(AnyJSON::fromEncodable(std::vector<int>{4}), AnyJSON::array({4}));

  EXPECT_EQ(makeJSONObject(Stamp{"s", at}).at("label"), AnyJSON("s"));
  try {
    makeJSONObject(std::vector<int>{1});
    ADD_FAILURE() << "an array became an object";
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(error.kind(), velmoria::base::DecodingError::Kind::typeMismatch);
    EXPECT_EQ(error.debugDescription(), "Expected to decode value to Dictionary<String, AnyJSON>.");
    EXPECT_TRUE(error.codingPath().empty());
  }

  // A typed read that does not fit reports the decoder's own error, unchanged.
  try {
    AnyJSON::object({{"label", 3}, {"at", "x"}}).decode<Stamp>();
    ADD_FAILURE();
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(error.kind(), velmoria::base::DecodingError::Kind::typeMismatch);
    EXPECT_EQ(velmoria::base::describeCodingPath(error.codingPath()), "label");
  }
}

TEST(AnyJSON, RefusesNestingBeyondTheCap) {
  const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_NO_THROW(decode(nested(AnyJSON::kMaxDepth)));
  EXPECT_EQ(decodingError(nested(AnyJSON::kMaxDepth + 1)).kind(), velmoria::base::DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(decodingError(nested(100000)).kind(), velmoria::base::DecodingError::Kind::dataCorrupted);

  EXPECT_TRUE(AnyJSON::parse(nested(AnyJSON::kMaxDepth)).has_value());
  EXPECT_EQ(AnyJSON::parse(nested(AnyJSON::kMaxDepth + 1)), std::nullopt);
  EXPECT_EQ(AnyJSON::parse("{\"a\":" + nested(100000) + "}"), std::nullopt);

  // A deep document that did not come through the text reader is refused by the conversion itself.
  const velmoria::base::Json deep = velmoria::base::Json::parse(nested(100000));
  try {
    AnyJSON::fromJSON(deep);
    ADD_FAILURE() << "converted a 100000-deep document";
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(error.kind(), velmoria::base::DecodingError::Kind::dataCorrupted);
  }
  velmoria::base::Json wrapped = velmoria::base::Json::object();
  wrapped["outer"] = velmoria::base::Json::parse(nested(100000));  // moved in: copying it would recurse
  try {
    JSONDecoder::shared().decodeJson<JSONObject>(wrapped);
    ADD_FAILURE();
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(velmoria::base::describeCodingPath(error.codingPath()), "outer");
  }
}

TEST(AnyJSON, RejectsMalformedText) {
  for (const char* text : {"", "[1,]", "{\"a\" 1}", "[1] 2", "nul", "\"\xff\"", "{\"a\":1", "01", "NaN"}) {
    EXPECT_EQ(AnyJSON::parse(text), std::nullopt) << text;
    EXPECT_EQ(decodingError(text).kind(), velmoria::base::DecodingError::Kind::dataCorrupted) << text;
  }
  // A repeated key keeps its last value.
  EXPECT_EQ(AnyJSON::parse(R"({"a":1,"a":2})"), AnyJSON::object({{"a", 2}}));
}

TEST(AnyJSON, RefusesBytesAfterTheDocumentANulByteIncluded) {
  using namespace std::string_literals;
  for (const auto& text : {"123\0"s, "[1]\0x"s, "{\"a\":1}\0\0"s, "[\0]"s, "[\"a\0b\"]"s, "[1] x"s}) {
    EXPECT_EQ(AnyJSON::parse(text), std::nullopt) << text.size() << " bytes";
    EXPECT_EQ(decodingError(text).kind(), velmoria::base::DecodingError::Kind::dataCorrupted)
        << text.size() << " bytes";
  }
  EXPECT_EQ(AnyJSON::parse("[\"\\u0000\"]"), AnyJSON::array({AnyJSON(std::string(1, '\0'))}));
}

TEST(AnyJSONDeathTest, DuplicateKeysInALiteralStopTheProgram) {
  EXPECT_DEATH(AnyJSON::object({{"k", 1}, {"k", 2}}), "Duplicate values for key: 'k'");
}

}  // namespace
}  // namespace zirudeze::helpers
