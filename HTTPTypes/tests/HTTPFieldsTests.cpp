#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::http {
namespace {

using testing::corruptionOf;
using testing::decodeJSON;
using testing::encodeJSON;
using testing::field;
using testing::name;

// "A:1 B:2" with raw names as stored.
std::string listing(const HTTPFields& fields) {
  std::string text;
  for (const auto& f : fields) {
    if (!text.empty()) text += " ";
    text += f.name().rawName() + ":" + f.value();
  }
  return text;
}

HTTPFields abac() { return HTTPFields{{name("A"), "1"}, {name("B"), "2"}, {name("A"), "3"}, {name("C"), "4"}}; }

TEST(HTTPFieldsLookup, EmptyListHasNothing) {
  const HTTPFields fields;
  EXPECT_FALSE(fields[HTTPFieldName::accept()]);
  EXPECT_TRUE(fields.values(HTTPFieldName::accept()).empty());
  EXPECT_TRUE(fields.fields(HTTPFieldName::accept()).empty());
  EXPECT_FALSE(fields.contains(HTTPFieldName::accept()));
  EXPECT_EQ(fields, HTTPFields());
  EXPECT_EQ(encodeJSON(fields), "[]");
}

TEST(HTTPFieldsLookup, ValuesOfOneNameJoinInOrderWhateverTheCase) {
  const HTTPFields fields{{name("Accept"), "a"}, {name("X"), "x"}, {name("accept"), "b"}};
  EXPECT_EQ(fields[name("ACCEPT")], "a, b");
  EXPECT_EQ(fields.values(name("accept")), (std::vector<std::string>{"a", "b"}));
  const auto found = fields.fields(name("aCCept"));
  ASSERT_EQ(found.size(), 2U);
  EXPECT_EQ(found[0].name().rawName(), "Accept");
  EXPECT_EQ(found[1].name().rawName(), "accept");
  EXPECT_TRUE(fields.contains(name("ACCEPT")));
  EXPECT_EQ(fields[name("x")], "x");
}

TEST(HTTPFieldsLookup, CookiesJoinWithSemicolonAndSplitBackOnSetting) {
  HTTPFields fields{{name("Cookie"), "a=1"}, {name("cookie"), "b=2"}};
  EXPECT_EQ(fields[HTTPFieldName::cookie()], "a=1; b=2");

  fields.set(HTTPFieldName::cookie(), "x=1; y=2");
  EXPECT_EQ(listing(fields), "Cookie:x=1 Cookie:y=2");
  fields.set(HTTPFieldName::cookie(), "x=1;y=2");
  EXPECT_EQ(listing(fields), "Cookie:x=1;y=2");
  fields.set(HTTPFieldName::cookie(), "x=1; ");
  EXPECT_EQ(fields.values(HTTPFieldName::cookie()), (std::vector<std::string>{"x=1", ""}));
  // Set-Cookie is an ordinary name: no splitting, comma join.
  fields.set(HTTPFieldName::setCookie(), "a; b");
  EXPECT_EQ(fields.values(HTTPFieldName::setCookie()), std::vector<std::string>{"a; b"});
}

TEST(HTTPFieldsSetByName, OverwritesTheFirstInPlaceDropsTheRestAppendsTheSurplus) {
  HTTPFields single = abac();
  single.set(name("a"), "x");
  EXPECT_EQ(listing(single), "a:x B:2 C:4");
  EXPECT_EQ(single[name("A")], "x");

  HTTPFields several = abac();
  several.setValues(name("a"), {"x", "y", "z"});
  EXPECT_EQ(listing(several), "a:x B:2 a:y C:4 a:z");
  EXPECT_EQ(several[name("A")], "x, y, z");

  HTTPFields removed = abac();
  removed.set(name("a"), std::nullopt);
  EXPECT_EQ(listing(removed), "B:2 C:4");
  EXPECT_FALSE(removed.contains(name("A")));
  EXPECT_EQ(removed[name("C")], "4");

  HTTPFields appended = abac();
  appended.set(name("d"), "5");
  EXPECT_EQ(listing(appended), "A:1 B:2 A:3 C:4 d:5");

  HTTPFields nothing = abac();
  nothing.set(name("zzz"), std::nullopt);
  EXPECT_EQ(listing(nothing), "A:1 B:2 A:3 C:4");
}

TEST(HTTPFieldsSetByName, SetFieldsKeepsTheirOwnRawNamesAndStrategies) {
  HTTPFields fields = abac();
  HTTPField custom(name("a"), "q");
  custom.setIndexingStrategy({2});
  fields.setFields(name("A"), {custom});
  EXPECT_EQ(listing(fields), "a:q B:2 C:4");
  EXPECT_EQ(fields[0].indexingStrategy().rawValue, 2);

  fields.modifyValues(name("b"), [](std::vector<std::string>& values) { values.push_back("3"); });
  EXPECT_EQ(listing(fields), "a:q b:2 C:4 b:3");  // the first takes the spelling used for the set
  fields.modify(name("c"), [](std::optional<std::string>& value) { *value += "!"; });
  EXPECT_EQ(fields[name("C")], "4!");
}

TEST(HTTPFieldsSetByName, RepairsValuesLikeSingleFields) {
  HTTPFields fields{{name("A"), " x\r\n"}};
  EXPECT_EQ(fields[name("a")], "x");
  fields.set(name("a"), "\ty ");
  EXPECT_EQ(fields[name("a")], "y");
}

TEST(HTTPFieldsIndex, PositionSetThatChangesTheNameRebuildsTheIndex) {
  HTTPFields fields{{name("A"), "1"}, {name("B"), "2"}};
  fields.set(0, field("C", "3"));
  EXPECT_EQ(listing(fields), "C:3 B:2");
  EXPECT_EQ(fields[name("C")], "3");
  EXPECT_FALSE(fields[name("A")]);
  EXPECT_EQ(fields[name("B")], "2");
}

TEST(HTTPFieldsIndex, SettingAnEqualFieldMakesNoCopy) {
  const HTTPFields original{{name("A"), "1"}, {name("B"), "2"}};
  HTTPFields copy = original;
  copy.set(0, field("a", "1"));  // equal: same canonical name, strategy and value
  EXPECT_EQ(copy[0].name().rawName(), "A");
  EXPECT_EQ(&copy[0], &original[0]);  // still one shared storage
  copy.set(0, field("a", "2"));
  EXPECT_NE(&copy[0], &original[0]);
  EXPECT_EQ(original[name("a")], "1");
}

TEST(HTTPFieldsIndex, StaysExactUnderInsertRemoveAndReplaceAnywhere) {
  HTTPFields fields = abac();
  fields.insert(field("A", "0"), 0);
  EXPECT_EQ(fields[name("a")], "0, 1, 3");
  fields.insert(field("B", "9"), fields.count());
  EXPECT_EQ(fields[name("b")], "2, 9");
  fields.remove(1);  // A:1
  EXPECT_EQ(fields[name("a")], "0, 3");
  fields.replaceSubrange(1, 3, {field("C", "c1"), field("A", "a1"), field("D", "d")});
  EXPECT_EQ(listing(fields), "A:0 C:c1 A:a1 D:d C:4 B:9");
  EXPECT_EQ(fields[name("a")], "0, a1");
  EXPECT_EQ(fields[name("c")], "c1, 4");
  EXPECT_EQ(fields[name("b")], "9");
  fields.removeSubrange(0, 2);
  EXPECT_EQ(fields[name("c")], "4");
  EXPECT_EQ(fields[name("a")], "a1");
  EXPECT_EQ(fields.removeFirst().value(), "a1");
  EXPECT_FALSE(fields.contains(name("a")));
  fields.removeFirst(2);
  EXPECT_EQ(listing(fields), "B:9");
  fields.swapAt(0, 0);
  fields.append(field("E", "e"));
  fields.swapAt(0, 1);
  EXPECT_EQ(listing(fields), "E:e B:9");
  EXPECT_EQ(fields[name("b")], "9");
  EXPECT_EQ(fields[name("e")], "e");
}

TEST(HTTPFieldsIndex, RemoveAllWhereKeepsTheOrderOfWhatStays) {
  HTTPFields fields = abac();
  fields.append(field("A", "5"));
  fields.removeAll([](const HTTPField& f) { return f.name() == *HTTPFieldName::make("b"); });
  EXPECT_EQ(listing(fields), "A:1 A:3 C:4 A:5");
  fields.removeAll([](const HTTPField& f) { return f.value() == "3" || f.value() == "4"; });
  EXPECT_EQ(listing(fields), "A:1 A:5");
  EXPECT_EQ(fields[name("a")], "1, 5");
  EXPECT_FALSE(fields.contains(name("c")));
}

TEST(HTTPFieldsIndex, PartitionSplitsAndTheIndexFollows) {
  HTTPFields fields = abac();
  const std::size_t pivot = fields.partition([](const HTTPField& f) { return f.name() == *HTTPFieldName::make("a"); });
  EXPECT_EQ(pivot, 2U);
  EXPECT_EQ(fields.values(name("a")).size(), 2U);
  EXPECT_TRUE(fields[0].name() != name("a") && fields[1].name() != name("a"));
  EXPECT_EQ(fields[name("b")], "2");
  EXPECT_EQ(fields[name("c")], "4");
}

TEST(HTTPFieldsIndex, RemoveAllEitherWay) {
  HTTPFields kept = abac();
  kept.removeAll(true);
  EXPECT_TRUE(kept.isEmpty());
  EXPECT_FALSE(kept.contains(name("a")));
  kept.append(field("A", "z"));
  EXPECT_EQ(kept[name("a")], "z");

  HTTPFields fresh = abac();
  const HTTPFields copy = fresh;
  fresh.removeAll();
  EXPECT_TRUE(fresh.isEmpty());
  EXPECT_EQ(copy.count(), 4U);
}

TEST(HTTPFieldsCopies, AWriteToACopyNeverReachesTheOriginal) {
  const HTTPFields original = abac();
  HTTPFields copy = original;
  copy.set(name("a"), "x");
  copy.append(field("Z", "z"));
  copy.remove(1);
  EXPECT_EQ(listing(original), "A:1 B:2 A:3 C:4");
  EXPECT_EQ(original[name("a")], "1, 3");
  EXPECT_FALSE(original.contains(name("z")));
  EXPECT_EQ(copy[name("a")], "x");
  EXPECT_EQ(copy[name("z")], "z");

  // A copy taken while the index is stale builds its own.
  HTTPFields stale = abac();
  stale.insert(field("A", "0"), 0);
  HTTPFields staleCopy = stale;
  staleCopy.append(field("A", "9"));
  EXPECT_EQ(staleCopy[name("a")], "0, 1, 3, 9");
  EXPECT_EQ(stale[name("a")], "0, 1, 3");
}

TEST(HTTPFieldsCopies, ConcurrentFirstLookupsOnASharedListAgree) {
  HTTPFields fields;
  for (int i = 0; i < 200; ++i) fields.append(field("X-" + std::to_string(i % 20), std::to_string(i)));
  fields.insert(field("Front", "f"), 0);  // leaves the index to be built by the readers
  const HTTPFields shared = fields;
  std::vector<std::thread> readers;
  std::vector<std::string> seen(8);
  for (int t = 0; t < 8; ++t) {
    readers.emplace_back([&shared, &seen, t] {
      const HTTPFields mine = shared;
      seen[t] =
          mine[*HTTPFieldName::make("x-7")].value_or("?") + "|" + mine[*HTTPFieldName::make("front")].value_or("?");
    });
  }
  for (auto& reader : readers) reader.join();
  for (const auto& text : seen) EXPECT_EQ(text, seen[0]);
  EXPECT_EQ(seen[0].substr(0, 7), "7, 27, ");
  EXPECT_EQ(seen[0].substr(seen[0].size() - 2), "|f");
}

TEST(HTTPFieldsEquality, ComparesEachNamesChainIgnoringInterleavingAndSpelling) {
  EXPECT_EQ((HTTPFields{{name("A"), "1"}, {name("B"), "2"}}), (HTTPFields{{name("B"), "2"}, {name("A"), "1"}}));
  EXPECT_NE((HTTPFields{{name("A"), "1"}, {name("A"), "2"}}), (HTTPFields{{name("A"), "2"}, {name("A"), "1"}}));
  EXPECT_EQ((HTTPFields{{name("Content-Type"), "x"}}), (HTTPFields{{name("content-type"), "x"}}));
  EXPECT_NE((HTTPFields{{name("A"), "1"}}), (HTTPFields{{name("A"), "1"}, {name("B"), "2"}}));
  EXPECT_NE((HTTPFields{{name("A"), "1"}}), (HTTPFields{{name("A"), "1"}, {name("A"), "1"}}));
  EXPECT_NE((HTTPFields{{name("A"), "1"}, {name("A"), "1"}}), (HTTPFields{{name("A"), "1"}}));

  HTTPField strategic = field("A", "1");
  strategic.setIndexingStrategy({1});
  EXPECT_NE((HTTPFields{{name("A"), "1"}}), HTTPFields(std::vector{strategic}));

  // Equal lists after different histories.
  HTTPFields built = abac();
  built.insert(field("Q", "q"), 0);
  built.remove(0);
  EXPECT_EQ(built, abac());
}

TEST(HTTPFieldsEquality, HashFollowsPositionOrderAndIgnoresSpelling) {
  const auto hashOf = [](const HTTPFields& fields) { return std::hash<HTTPFields>{}(fields); };
  EXPECT_EQ(hashOf(HTTPFields{{name("Accept"), "x"}}), hashOf(HTTPFields{{name("accept"), "x"}}));
  EXPECT_NE(hashOf(HTTPFields{{name("A"), "1"}, {name("B"), "2"}}), hashOf(HTTPFields{{name("A"), "12"}}));
}

TEST(HTTPFieldsDescription, ShowsTheInternalLinks) {
  EXPECT_EQ(HTTPFields(std::vector{field("A", "1")}).debugDescription(), "[(field: A: 1, next: 65535)]");
  EXPECT_EQ((HTTPFields{{name("A"), "1"}, {name("A"), "2"}}).debugDescription(),
            "[(field: A: 1, next: 1), (field: A: 2, next: 65535)]");
}

TEST(HTTPFieldsPositions, IterationSubrangesAndAssignment) {
  HTTPFields fields = abac();
  std::vector<std::string> values;
  for (const auto& f : fields.subrange(1, 3)) values.push_back(f.value());
  EXPECT_EQ(values, (std::vector<std::string>{"2", "3"}));
  fields.assignSubrange(1, 3, {field("X", "x"), field("Y", "y")});
  EXPECT_EQ(listing(fields), "A:1 X:x Y:y C:4");
  EXPECT_EQ(fields[name("a")], "1");
  fields.modify(0, [](HTTPField& f) { f.setValue("one"); });
  EXPECT_EQ(fields[name("a")], "one");
  EXPECT_EQ(HTTPFields::repeating(field("R", "r"), 3)[name("r")], "r, r, r");
  EXPECT_EQ(HTTPFields(std::vector<HTTPField>{field("V", "v")}).count(), 1U);
}

using HTTPFieldsDeathTest = ::testing::Test;

TEST_F(HTTPFieldsDeathTest, CallerObligationsStopTheProgram) {
  const HTTPField pseudo(*HTTPFieldName::parsed(":path"), "/");
  EXPECT_DEATH(
      {
        HTTPFields fields;
        fields.append(pseudo);
      },
      "pseudo header");
  EXPECT_DEATH(
      {
        HTTPFields fields = abac();
        fields.insert(pseudo, 1);
      },
      "pseudo header");
  EXPECT_DEATH(
      {
        HTTPFields fields = abac();
        fields.set(0, pseudo);
      },
      "pseudo header");
  EXPECT_DEATH(
      {
        HTTPFields fields = abac();
        (void)fields[4];
      },
      "out of range");
  EXPECT_DEATH(
      {
        HTTPFields fields = abac();
        fields.removeFirst(5);
      },
      "out of range");
  EXPECT_DEATH(
      {
        HTTPFields fields = abac();
        fields.setFields(name("a"), {field("b", "1")});
      },
      "another name");
  EXPECT_DEATH({ (void)HTTPFields::repeating(field("a", "1"), -1); }, "Negative");
}

TEST_F(HTTPFieldsDeathTest, AListOf65534FieldsAcceptsNoMore) {
  HTTPFields fields = HTTPFields::repeating(field("A", "1"), 65534);
  EXPECT_EQ(fields.count(), HTTPFields::maximumCount);
  EXPECT_EQ(fields.values(name("a")).size(), 65534U);
  EXPECT_DEATH(fields.append(field("B", "2")), "Too many");
}

TEST(HTTPFieldsCoding, EncodesAnArrayInPositionOrderAndRoundTrips) {
  const HTTPFields fields = abac();
  const std::string json = encodeJSON(fields);
  EXPECT_EQ(json,
            R"([{"name":"A","value":"1"},{"name":"B","value":"2"},{"name":"A","value":"3"},{"name":"C","value":"4"}])");
  const auto decoded = decodeJSON<HTTPFields>(json);
  EXPECT_EQ(decoded, fields);
  EXPECT_EQ(listing(decoded), listing(fields));
  EXPECT_EQ(decoded[name("a")], "1, 3");
}

TEST(HTTPFieldsCoding, PseudoHeaderFieldsAreRefused) {
  EXPECT_EQ(corruptionOf<HTTPFields>(R"([{"name":"a","value":"1"},{"name":":path","value":"/x"}])"),
            "Pseudo header field \":path: /x\" disallowed");
  EXPECT_EQ(corruptionOf<HTTPFields>(R"([{"name":"a","value":" 1"}])"),
            "HTTP field value \" 1\" contains invalid characters");
  EXPECT_THROW(decodeJSON<HTTPFields>(R"({"name":"a"})"), velmoria::base::DecodingError);
}

TEST(HTTPFieldsCoding, TooLongAListFromOutsideFailsDecodingInsteadOfStopping) {
  std::string json = "[";
  for (int i = 0; i < 65535; ++i) json += std::string(i ? "," : "") + R"({"name":"a","value":"1"})";
  json += "]";
  EXPECT_EQ(corruptionOf<HTTPFields>(json), "More than 65534 HTTP fields");
}

}  // namespace
}  // namespace zirudeze::http
