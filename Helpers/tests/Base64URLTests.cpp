#include <gtest/gtest.h>

#include "helpers/Base64URL.hpp"

namespace zirudeze::helpers {
namespace {

velmoria::base::Data bytes(std::initializer_list<int> values) {
  velmoria::base::Data data;
  for (const int v : values) data.push_back(static_cast<std::uint8_t>(v));
  return data;
}

TEST(Base64URL, EncodesWithTheUrlAlphabetAndNoPadding) {
  EXPECT_EQ(Base64URL::encode(bytes({0xFB, 0xFF})), "-_8");
  EXPECT_EQ(Base64URL::encode(bytes({0xFB, 0xEF, 0xBE})), "----");
  EXPECT_EQ(Base64URL::encode(bytes({0xFF, 0xFF, 0xFF})), "____");
  EXPECT_EQ(Base64URL::encode(velmoria::base::Data{}), "");
  // RFC 4648 test vectors, padding dropped.
  EXPECT_EQ(Base64URL::encode(std::string_view("f")), "Zg");
  EXPECT_EQ(Base64URL::encode(std::string_view("fo")), "Zm8");
  EXPECT_EQ(Base64URL::encode(std::string_view("foo")), "Zm9v");
  EXPECT_EQ(Base64URL::encode(std::string_view("foobar")), "Zm9vYmFy");
}

TEST(Base64URL, DecodesWithAndWithoutPadding) {
  EXPECT_EQ(Base64URL::decode("-_8"), bytes({0xFB, 0xFF}));
  EXPECT_EQ(Base64URL::decode("-_8="), bytes({0xFB, 0xFF}));
  EXPECT_EQ(Base64URL::decode("Zg"), velmoria::base::dataFromString("f"));
  EXPECT_EQ(Base64URL::decode("Zg=="), velmoria::base::dataFromString("f"));
  EXPECT_EQ(Base64URL::decode("Zm9vYmFy"), velmoria::base::dataFromString("foobar"));
  EXPECT_EQ(Base64URL::decode(""), velmoria::base::Data{});
  // The standard alphabet is read as well.
  EXPECT_EQ(Base64URL::decode("+/8"), bytes({0xFB, 0xFF}));
}

TEST(Base64URL, SkipsCharactersOutsideTheAlphabet) {
  EXPECT_EQ(Base64URL::decode("Zm9v\nYm Fy.."), velmoria::base::dataFromString("foobar"));
  EXPECT_EQ(Base64URL::decode("Zm9v\r\n\r\nYmE="), velmoria::base::dataFromString("fooba"));
  // Padding is counted before the unknown characters are skipped, as the platform decoder does.
  EXPECT_EQ(Base64URL::decode("Zm9v YmFy"), std::nullopt);
  EXPECT_EQ(Base64URL::decode("Zm9v YmF"), std::nullopt);
}

TEST(Base64URL, RefusesTextThatIsStillNoBase64) {
  EXPECT_EQ(Base64URL::decode("Zm9vY"), std::nullopt);     // five characters
  EXPECT_EQ(Base64URL::decode("-_8=="), std::nullopt);     // padded past a multiple of four
  EXPECT_EQ(Base64URL::decode("Zg=a"), std::nullopt);      // data after padding
  EXPECT_EQ(Base64URL::decode("Zg==Zg=="), std::nullopt);  // a group after the padded one
  EXPECT_EQ(Base64URL::decode("Z==="), std::nullopt);
}

TEST(Base64URL, RoundTripsEveryByteValue) {
  velmoria::base::Data all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
  for (std::size_t length = 0; length <= all.size(); length += 37) {
    const velmoria::base::Data prefix(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(length));
    const std::string text = Base64URL::encode(prefix);
    EXPECT_EQ(text.find_first_of("+/="), std::string::npos);
    EXPECT_EQ(Base64URL::decode(text), prefix);
  }
}

}  // namespace
}  // namespace zirudeze::helpers
