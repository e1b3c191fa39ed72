#include <gtest/gtest.h>

#include "helpers/HTTPStatusText.hpp"

namespace h = zirudeze::helpers;

TEST(HTTPStatusText, KnownCodesGiveTheirPhraseInLowerCaseOthersTheirClass) {
  EXPECT_EQ(h::localizedStatusText(400), "bad request");
  EXPECT_EQ(h::localizedStatusText(404), "not found");
  EXPECT_EQ(h::localizedStatusText(202), "accepted");
  EXPECT_EQ(h::localizedStatusText(505), "http version not supported");
  EXPECT_EQ(h::localizedStatusText(102), "informational");
  EXPECT_EQ(h::localizedStatusText(299), "success");
  EXPECT_EQ(h::localizedStatusText(399), "redirected");
  EXPECT_EQ(h::localizedStatusText(499), "client error");
  EXPECT_EQ(h::localizedStatusText(599), "server error");
  EXPECT_EQ(h::localizedStatusText(99), "unknown");
  EXPECT_EQ(h::localizedStatusText(600), "unknown");
  EXPECT_EQ(h::localizedStatusText(-404), "unknown");
}
