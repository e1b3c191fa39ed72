#include <gtest/gtest.h>

#include "base/Data.hpp"

TEST(Data, RoundTripsBytesThroughText) {
  const std::string text("a\0b\xff", 4);
  EXPECT_EQ(velmoria::base::stringFromData(velmoria::base::dataFromString(text)), text);
}
