#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "httptypes/HTTPField.hpp"

namespace zirudeze::http {
namespace {

using testing::corruptionOf;
using testing::decodeJSON;
using testing::encodeJSON;
using testing::name;

std::vector<std::uint8_t> bytesOf(const HTTPField& field) {
  return field.withValueBytes(
      [](std::span<const std::uint8_t> bytes) { return std::vector<std::uint8_t>(bytes.begin(), bytes.end()); });
}

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(HTTPFieldValue, ValidTextIsKeptAsItIs) {
  for (const char* text : {"", "text/html; charset=utf-8", "a\tb", "a  b", "~!@#$%^&*()"}) {
    EXPECT_EQ(HTTPField(HTTPFieldName::accept(), text).value(), text);
  }
}

TEST(HTTPFieldValue, StrictRepairBlanksInvalidBytesThenTrims) {
  EXPECT_EQ(HTTPField(HTTPFieldName::accept(), "  a b  ").value(), "a b");
  EXPECT_EQ(HTTPField(HTTPFieldName::accept(), "a\r\nb").value(), "a  b");
  EXPECT_EQ(HTTPField(HTTPFieldName::accept(), "\x01").value(), "");
  EXPECT_EQ(HTTPField(HTTPFieldName::accept(), "\t\x7F x \n").value(), "x");
  EXPECT_EQ(HTTPField(HTTPFieldName::accept(), std::string("a\0b", 3)).value(), "a b");
  // Bytes from 0x80 up are never touched by the repair.
  EXPECT_EQ(HTTPField(HTTPFieldName::accept(), " caf\xC3\xA9 ").value(), "caf\xC3\xA9");
}

TEST(HTTPFieldValue, SettingAValueRepairsItLikeTheConstructor) {
  HTTPField field(HTTPFieldName::accept(), "x");
  field.setValue(" y\n");
  EXPECT_EQ(field.value(), "y");
  field.modifyValue([](std::string& value) { value += "\r"; });
  EXPECT_EQ(field.value(), "y");
  field.modifyValue([](std::string& value) { value += " z"; });
  EXPECT_EQ(field.value(), "y z");
}

TEST(HTTPFieldValue, ByteConstructorsKeepLatin1BytesAndRepairAsAsked) {
  const auto latin1 = HTTPField::fromValueBytes(HTTPFieldName::accept(), std::vector<std::uint8_t>{0xE9});
  EXPECT_EQ(bytesOf(latin1), std::vector<std::uint8_t>{0xE9});
  EXPECT_EQ(latin1.value(), "\xEF\xBF\xBD");  // not UTF-8, so the text view shows U+FFFD
  EXPECT_EQ(latin1.rawValue().latin1Text(), "\xC3\xA9");

  EXPECT_EQ(HTTPField::fromValueBytes(HTTPFieldName::accept(), bytes(" a\n")).value(), "a");
  EXPECT_EQ(bytesOf(HTTPField::fromValueBytes(HTTPFieldName::accept(), bytes("plain"))), bytes("plain"));

  // Lenient: only NUL, CR and LF become blanks; nothing is trimmed.
  EXPECT_EQ(HTTPField::fromLenientValueBytes(HTTPFieldName::accept(), bytes(" a\r\n")).value(), " a  ");
  EXPECT_EQ(HTTPField::fromLenientValueBytes(HTTPFieldName::accept(), bytes("a\x01z")).value(), "a\x01z");
  EXPECT_EQ(HTTPField::fromLenientValueBytes(HTTPFieldName::accept(), bytes(std::string("\0", 1))).value(), " ");
}

TEST(HTTPFieldValue, NonASCIITextRoundTripsThroughTheWireBytes) {
  const HTTPField field(HTTPFieldName::accept(), "\xC3\xA9");  // é
  EXPECT_EQ(field.value(), "\xC3\xA9");
  EXPECT_EQ(bytesOf(field), (std::vector<std::uint8_t>{0xC3, 0xA9}));
  EXPECT_EQ(field.rawValue().latin1Text(), "\xC3\x83\xC2\xA9");  // U+00C3 U+00A9
}

TEST(HTTPField, EqualityIgnoresNameCaseButNotStrategyOrValue) {
  const HTTPField upper(*HTTPFieldName::make("Accept"), "x");
  const HTTPField lower(*HTTPFieldName::make("accept"), "x");
  EXPECT_EQ(upper, lower);
  EXPECT_EQ(std::hash<HTTPField>{}(upper), std::hash<HTTPField>{}(lower));

  HTTPField other = lower;
  other.setIndexingStrategy({1});
  EXPECT_NE(upper, other);
  EXPECT_NE(upper, HTTPField(HTTPFieldName::accept(), "y"));
}

TEST(HTTPField, DescriptionShowsRawNameAndValue) {
  EXPECT_EQ(HTTPField(HTTPFieldName::contentType(), "text/html").description(), "Content-Type: text/html");
}

TEST(HTTPFieldCoding, EncodesTheLatin1ReadingAndLeavesOutTheDefaultStrategy) {
  EXPECT_EQ(encodeJSON(HTTPField(HTTPFieldName::contentType(), "text/html")),
            R"({"name":"Content-Type","value":"text/html"})");
  HTTPField field(HTTPFieldName::accept(), "\xC3\xA9");
  field.setIndexingStrategy({2});
  EXPECT_EQ(encodeJSON(field), "{\"name\":\"Accept\",\"value\":\"\xC3\x83\xC2\xA9\",\"indexingStrategy\":2}");
}

TEST(HTTPFieldCoding, RoundTripsValuesNamesAndStrategies) {
  HTTPField latin1 =
      HTTPField::fromValueBytes(*HTTPFieldName::make("X-Name"), std::vector<std::uint8_t>{'a', 0xE9, 0xFF});
  latin1.setIndexingStrategy({3});
  for (const HTTPField& field :
       {HTTPField(HTTPFieldName::accept(), "\xC3\xA9"), latin1, HTTPField(*HTTPFieldName::make("x"), "")}) {
    const auto decoded = decodeJSON<HTTPField>(encodeJSON(field));
    EXPECT_EQ(decoded, field);
    EXPECT_EQ(decoded.name().rawName(), field.name().rawName());
    EXPECT_EQ(bytesOf(decoded), bytesOf(field));
  }
}

TEST(HTTPFieldCoding, UnknownOrMissingStrategiesDecodeAsDefault) {
  EXPECT_EQ(decodeJSON<HTTPField>(R"({"name":"a","value":"b","indexingStrategy":7})").indexingStrategy().rawValue, 0);
  EXPECT_EQ(decodeJSON<HTTPField>(R"({"name":"a","value":"b","indexingStrategy":null})").indexingStrategy().rawValue,
            0);
  EXPECT_EQ(decodeJSON<HTTPField>(R"({"name":"a","value":"b","indexingStrategy":1})").indexingStrategy().rawValue, 1);
  EXPECT_THROW(decodeJSON<HTTPField>(R"({"name":"a","value":"b","indexingStrategy":256})"),
               velmoria::base::DecodingError);
  EXPECT_THROW(decodeJSON<HTTPField>(R"({"name":"a","value":"b","indexingStrategy":-1})"),
               velmoria::base::DecodingError);
  EXPECT_THROW(decodeJSON<HTTPField>(R"({"name":"a"})"), velmoria::base::DecodingError);
}

TEST(HTTPFieldCoding, InvalidValuesAreRefusedNotRepaired) {
  EXPECT_EQ(corruptionOf<HTTPField>(R"({"name":"a","value":" x"})"),
            "HTTP field value \" x\" contains invalid characters");
  EXPECT_EQ(corruptionOf<HTTPField>(R"({"name":"a","value":"x\n"})"),
            "HTTP field value \"x\n\" contains invalid characters");
  EXPECT_EQ(corruptionOf<HTTPField>(R"({"name":"a b","value":"x"})"),
            "HTTP field name \"a b\" contains invalid characters");
}

TEST(HTTPFieldCoding, CharactersAboveLatin1AreRefusedInsteadOfLosingBits) {
  // "€" passes the byte rule but no single wire byte stands for it.
  EXPECT_EQ(corruptionOf<HTTPField>("{\"name\":\"a\",\"value\":\"1\xE2\x82\xAC\"}"),
            "HTTP field value \"1\xE2\x82\xAC\" contains invalid characters");
  try {
    (void)decodeJSON<HTTPField>("{\"name\":\"a\",\"value\":\"\xE2\x82\xAC\"}");
  } catch (const velmoria::base::DecodingError& error) {
    ASSERT_EQ(error.codingPath().size(), 1U);
    EXPECT_EQ(error.codingPath()[0].stringValue, "value");
  }
}

}  // namespace
}  // namespace zirudeze::http
