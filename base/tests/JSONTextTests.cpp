// Texts a JSON parser must refuse (the "n_" cases of the JSONTestSuite corpus) and a few it must take.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/coding/CodingErrors.hpp"
#include "base/coding/JSONCoders.hpp"

namespace {

using namespace std::string_literals;

struct Case {
  const char* name;
  std::string text;
};

const std::vector<Case>& refused() {
  static const std::vector<Case> cases{
      {"n_multidigit_number_then_00", "123\0"s},
      {"n_structure_null-byte-outside-string", "[\0]"s},
      {"n_string_unescaped_ctrl_char", "[\"a\0a\"]"s},
      {"n_structure_whitespace_formfeed", "[\f]"},
      {"n_object_trailing_comment", "{\"a\":\"b\"}/**/"},
      {"n_object_trailing_comment_slash_open", "{\"a\":\"b\"}//"},
      {"n_object_with_trailing_garbage", "{\"a\": true} \"x\""},
      {"n_array_extra_close", "[\"x\"]]"},
      {"n_array_comma_after_close", "[\"\"],"},
      {"n_structure_array_trailing_garbage", "[1]x"},
      {"n_structure_array_with_extra_array_close", "[1]]"},
      {"n_structure_double_array", "[][]"},
      {"n_structure_object_followed_by_closing_object", "{}}"},
      {"n_structure_object_with_trailing_garbage", "{\"a\": true} \"x\""},
      {"n_structure_trailing_#", "{\"a\":\"b\"}#{}"},
      {"n_structure_close_unopened_array", "1]"},
      {"n_structure_number_with_trailing_garbage", "2@"},
      {"n_structure_no_data", ""},
      {"n_structure_lone-open-bracket", "["},
      {"n_structure_unclosed_array", "[1"},
      {"n_structure_unclosed_object", "{\"asd\":\"asd\""},
      {"n_structure_U+2060_word_joined", "[\xE2\x81\xA0]"},
      {"n_structure_utf8_BOM_no_data", "\xEF\xBB\xBF"},
      {"n_array_trailing_comma", "[1,]"},
      {"n_array_double_comma", "[1,,2]"},
      {"n_array_just_minus", "[-]"},
      {"n_number_leading_zero", "[012]"},
      {"n_number_plus_1", "[+1]"},
      {"n_number_infinity", "[Infinity]"},
      {"n_number_NaN", "[NaN]"},
      {"n_number_hex_1_digit", "[0x1]"},
      {"n_number_neg_int_starting_with_zero", "[-012]"},
      {"n_number_real_without_fractional_part", "[1.]"},
      {"n_number_starting_with_dot", "[.123]"},
      {"n_object_single_quote", "{'a':0}"},
      {"n_object_unquoted_key", "{a: \"b\"}"},
      {"n_object_trailing_comma", "{\"id\":0,}"},
      {"n_object_missing_colon", "{\"a\" b}"},
      {"n_string_single_quote", "['single quote']"},
      {"n_string_unescaped_tab", "[\"\t\"]"},
      {"n_string_unescaped_newline", "[\"new\nline\"]"},
      {"n_string_escape_x", "[\"\\x00\"]"},
      {"n_string_invalid_utf8_after_escape", "[\"\\\xE5\"]"},
      {"n_string_1_surrogate_then_escape_u1", "[\"\\uD800\\u1\"]"},
      {"n_string_incomplete_escape", "[\"\\\"]"},
      {"n_incomplete_true", "[tru]"},
      {"n_structure_capitalized_True", "[True]"},
      {"n_single_space", " "},
      {"n_structure_ascii-unicode-identifier", "a\xC3\xA5"},
  };
  return cases;
}

TEST(JSONText, RefusesEveryInvalidText) {
  for (const auto& c : refused()) {
    EXPECT_THROW(velmoria::base::parseJson(c.text), velmoria::base::DecodingError) << c.name;
  }
}

TEST(JSONText, TakesEscapedNulAndSurroundingWhiteSpace) {
  EXPECT_EQ(velmoria::base::parseJson("[\"\\u0000\"]")[0].get<std::string>(), "\0"s);  // y_string_null_escape
  EXPECT_EQ(velmoria::base::parseJson(" [1] \n").size(), 1u);                          // y_structure_trailing_newline
  EXPECT_TRUE(velmoria::base::parseJson("null").is_null());                            // y_structure_lonely_null
  EXPECT_FALSE(velmoria::base::holdsNulByte("[\"\\u0000\"]"));
  EXPECT_TRUE(velmoria::base::holdsNulByte("1\0"s));
}

}  // namespace
