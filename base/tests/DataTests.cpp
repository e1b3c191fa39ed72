#include "base/Data.hpp"

#include <gtest/gtest.h>

TEST(Data, RoundTripsBytesThroughText) {
  const std::string text("a\0b\xff", 4);
  EXPECT_EQ(base::stringFromData(base::dataFromString(text)), text);
}
