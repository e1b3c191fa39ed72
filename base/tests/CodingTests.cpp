#include <gtest/gtest.h>

#include "base/Base64.hpp"
#include "base/Coding.hpp"

namespace {

using velmoria::base::DecodingError;
using velmoria::base::JSONDecoder;
using velmoria::base::JSONEncoder;

struct Identity {
  std::string identityID;
  std::map<std::string, std::string> identityData;

  void encode(velmoria::base::Encoder& encoder) const {
    auto c = encoder.container();
    c.encode("identityID", identityID);
    c.encode("identityData", identityData);
  }
  static Identity decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    return {c.decode<std::string>("identityID"), c.decodeOr<std::map<std::string, std::string>>("identityData", {})};
  }
  bool operator==(const Identity&) const = default;
};

struct Account {
  std::string userID;
  std::optional<std::string> phoneNumber;
  std::vector<Identity> identities;
  std::int32_t expiresIn = 0;

  void encode(velmoria::base::Encoder& encoder) const {
    auto c = encoder.container();
    c.encode("userID", userID);
    c.encodeIfPresent("phoneNumber", phoneNumber);
    c.encode("identities", identities);
    c.encode("expiresIn", expiresIn);
  }
  static Account decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    return {c.decode<std::string>("userID"), c.decodeIfPresent<std::string>("phoneNumber"),
            c.decode<std::vector<Identity>>("identities"), c.decode<std::int32_t>("expiresIn")};
  }
  bool operator==(const Account&) const = default;
};

JSONEncoder snakeEncoder() {
  JSONEncoder encoder;
  encoder.settings.keyEncodingStrategy = velmoria::base::KeyEncodingStrategy::convertToSnakeCase;
  return encoder;
}

JSONDecoder snakeDecoder() {
  JSONDecoder decoder;
  decoder.settings.keyDecodingStrategy = velmoria::base::KeyDecodingStrategy::convertFromSnakeCase;
  return decoder;
}

template <class T>
DecodingError decodeFailure(const JSONDecoder& decoder, std::string_view text) {
  try {
    decoder.decode<T>(text);
  } catch (const DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "decoding succeeded: " << text;
  throw std::logic_error("no error");
}

TEST(KeyConversion, SnakeCaseWordsAndAcronyms) {
  EXPECT_EQ(velmoria::base::convertToSnakeCase("userID"), "user_id");
  EXPECT_EQ(velmoria::base::convertToSnakeCase("myURLValue"), "my_url_value");
  EXPECT_EQ(velmoria::base::convertToSnakeCase("expiresIn"), "expires_in");
  EXPECT_EQ(velmoria::base::convertToSnakeCase("already_snake"), "already_snake");
  EXPECT_EQ(velmoria::base::convertToSnakeCase(""), "");
  EXPECT_EQ(velmoria::base::convertFromSnakeCase("user_id"), "userId");
  EXPECT_EQ(velmoria::base::convertFromSnakeCase("_leading_and_trailing_"), "_leadingAndTrailing_");
  EXPECT_EQ(velmoria::base::convertFromSnakeCase("plain"), "plain");
  EXPECT_EQ(velmoria::base::convertFromSnakeCase("camelCase"), "camelCase");
  EXPECT_EQ(velmoria::base::convertFromSnakeCase("___"), "___");
}

TEST(Coding, SnakeCaseRoundTripLeavesFreeFormMapsAlone) {
  const Account account{"abc", std::nullopt, {{"id-1", {{"full_name", "Ada"}, {"avatarURL", "x"}}}}, 3600};
  const std::string text = snakeEncoder().encodeToString(account);
  EXPECT_EQ(
      text,
      R"({"user_id":"abc","identities":[{"identity_id":"id-1","identity_data":{"avatarURL":"x","full_name":"Ada"}}],"expires_in":3600})");
  // Converted keys match coding keys by their camel-case form; "userID" is written user_id and read
  // back as "userId", so the type must spell its key the way the input converts.
  const auto decoded = snakeDecoder().decode<velmoria::base::Json>(text);
  EXPECT_EQ(decoded["identities"][0]["identity_data"]["full_name"], "Ada");
}

TEST(Coding, DefaultKeysRoundTrip) {
  const Account account{"abc", "+49", {{"id-1", {{"k", "v"}}}}, -5};
  const JSONEncoder encoder;
  const JSONDecoder decoder;
  EXPECT_EQ(decoder.decode<Account>(encoder.encode(account)), account);
}

TEST(Coding, ErrorsCarryPathAndDescription) {
  const JSONDecoder decoder;
  auto missing = decodeFailure<Account>(decoder, R"({"userID":"a","identities":[{"identityData":{}}],"expiresIn":1})");
  EXPECT_EQ(missing.kind(), DecodingError::Kind::keyNotFound);
  EXPECT_EQ(velmoria::base::describeCodingPath(missing.codingPath()), "identities[0]");
  EXPECT_EQ(missing.debugDescription(),
            R"(No value associated with key CodingKeys(stringValue: "identityID", intValue: nil) ("identityID").)");

  auto mismatch = decodeFailure<Account>(decoder, R"({"userID":5,"identities":[],"expiresIn":1})");
  EXPECT_EQ(mismatch.kind(), DecodingError::Kind::typeMismatch);
  EXPECT_EQ(mismatch.debugDescription(), "Expected to decode String but found number instead.");
  EXPECT_EQ(velmoria::base::describeCodingPath(mismatch.codingPath()), "userID");

  auto null = decodeFailure<Account>(decoder, R"({"userID":null,"identities":[],"expiresIn":1})");
  EXPECT_EQ(null.kind(), DecodingError::Kind::valueNotFound);

  auto tooBig = decodeFailure<Account>(decoder, R"({"userID":"a","identities":[],"expiresIn":4294967296})");
  EXPECT_EQ(tooBig.kind(), DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(tooBig.debugDescription(), "Parsed JSON number <4294967296> does not fit in Int32.");

  auto wrongOptional =
      decodeFailure<Account>(decoder, R"({"userID":"a","phoneNumber":1,"identities":[],"expiresIn":1})");
  EXPECT_EQ(wrongOptional.kind(), DecodingError::Kind::typeMismatch);
}

TEST(Coding, SnakeDecoderNamesTheConvertedKeyWhenMissing) {
  struct Probe {
    static Probe decode(const velmoria::base::Decoder& decoder) {
      decoder.container().decode<std::string>("refreshToken");
      return {};
    }
  };
  auto error = decodeFailure<Probe>(snakeDecoder(), R"({"access_token":"x"})");
  EXPECT_NE(error.debugDescription().find("converted to refresh_token"), std::string::npos);
}

TEST(Coding, ExactKeysIgnoreTheStrategy) {
  struct Claims {
    std::string sid;
    std::string userMetadata;
    void encode(velmoria::base::Encoder& encoder) const {
      auto c = encoder.exactKeyContainer();
      c.encode("sid", sid);
      c.encode("user_metadata", userMetadata);
    }
    static Claims decode(const velmoria::base::Decoder& decoder) {
      const auto c = decoder.exactKeyContainer();
      return {c.decode<std::string>("sid"), c.decode<std::string>("user_metadata")};
    }
  };
  const std::string text = snakeEncoder().encodeToString(Claims{"s1", "m"});
  EXPECT_EQ(text, R"({"sid":"s1","user_metadata":"m"})");
  EXPECT_EQ(snakeDecoder().decode<Claims>(text).userMetadata, "m");
}

TEST(Coding, RejectsInvalidAndTooDeepDocuments) {
  const JSONDecoder decoder;
  for (const std::string_view text : {"", "{", "[1,]", "\"\xff\"", "nul"}) {
    auto error = decodeFailure<velmoria::base::Json>(decoder, text);
    EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted) << text;
    EXPECT_EQ(error.debugDescription(), "The given data was not valid JSON.");
  }
  const std::string deep =
      std::string(velmoria::base::kMaxJsonDepth + 1, '[') + std::string(velmoria::base::kMaxJsonDepth + 1, ']');
  EXPECT_EQ(decodeFailure<velmoria::base::Json>(decoder, deep).kind(), DecodingError::Kind::dataCorrupted);
  const std::string allowed =
      std::string(velmoria::base::kMaxJsonDepth, '[') + std::string(velmoria::base::kMaxJsonDepth, ']');
  EXPECT_NO_THROW(decoder.decode<velmoria::base::Json>(allowed));
  // Brackets inside strings do not count.
  EXPECT_NO_THROW(decoder.decode<std::string>("\"" + deep + "\""));
}

TEST(Coding, NumbersKeepTheirKind) {
  const JSONDecoder decoder;
  EXPECT_EQ(decoder.decode<int>("3.0"), 3);
  EXPECT_THROW(decoder.decode<int>("3.5"), DecodingError);
  EXPECT_THROW(decoder.decode<std::uint8_t>("-1"), DecodingError);
  EXPECT_DOUBLE_EQ(decoder.decode<double>("7"), 7.0);
  EXPECT_THROW(decoder.decode<bool>("1"), DecodingError);
  EXPECT_THROW(JSONEncoder().encode(std::nan("")), velmoria::base::EncodingError);
}

TEST(Coding, DataAndDateStrategies) {
  const velmoria::base::Data bytes{0x00, 0xff, 0x10, 0x41};
  EXPECT_EQ(JSONEncoder().encodeToString(bytes), "\"AP8QQQ==\"");
  EXPECT_EQ(JSONDecoder().decode<velmoria::base::Data>(std::string_view("\"AP8QQQ==\"")), bytes);
  EXPECT_THROW(JSONDecoder().decode<velmoria::base::Data>(std::string_view("\"AP8QQQ=\"")), DecodingError);

  const velmoria::base::Date date = velmoria::base::dateFromSecondsSince1970(1709658249.0);
  JSONEncoder iso;
  iso.settings.dateEncodingStrategy.kind = velmoria::base::DateEncodingStrategy::Kind::iso8601;
  EXPECT_EQ(iso.encodeToString(date), "\"2024-03-05T17:04:09Z\"");
  JSONDecoder isoDecoder;
  isoDecoder.settings.dateDecodingStrategy.kind = velmoria::base::DateDecodingStrategy::Kind::iso8601;
  EXPECT_EQ(isoDecoder.decode<velmoria::base::Date>(std::string_view("\"2024-03-05T19:04:09+02:00\"")), date);
  EXPECT_THROW(isoDecoder.decode<velmoria::base::Date>(std::string_view("\"2024-03-05\"")), DecodingError);

  JSONEncoder seconds;
  seconds.settings.dateEncodingStrategy.kind = velmoria::base::DateEncodingStrategy::Kind::secondsSince1970;
  EXPECT_EQ(seconds.encodeToString(date), "1709658249.0");
  // The default form counts from 2001-01-01.
  EXPECT_EQ(JSONDecoder().decode<velmoria::base::Date>(std::string_view("0")),
            velmoria::base::dateFromSecondsSince1970(978307200.0));
}

TEST(Base64, StrictDecoding) {
  EXPECT_EQ(velmoria::base::base64Encode(velmoria::base::dataFromString("ab")), "YWI=");
  EXPECT_EQ(velmoria::base::base64Encode({}), "");
  EXPECT_EQ(velmoria::base::base64Decode("YWI="), velmoria::base::dataFromString("ab"));
  EXPECT_FALSE(velmoria::base::base64Decode("YWI"));
  EXPECT_FALSE(velmoria::base::base64Decode("Y=I="));
  EXPECT_FALSE(velmoria::base::base64Decode("YW==YWI="));
  EXPECT_FALSE(velmoria::base::base64Decode("YW-_"));
}

}  // namespace
