#include <string>

#include <gtest/gtest.h>

#include "base/Check.hpp"

namespace {

// The line a failed check names is its own; the file is this one.
TEST(CheckDeathTest, AFailedCheckStopsWithItsPlaceAndMessageOnOneLine) {
  const int line = __LINE__ + 1;
  EXPECT_DEATH(VM_CHECK(1 + 1 == 3, "arithmetic broke"),
               std::string("CheckTests\\.cpp:") + std::to_string(line) + ": Fatal error: arithmetic broke\n");
}

TEST(CheckDeathTest, AStopAtANamedPlaceUsesThatPlace) {
  EXPECT_DEATH(velmoria::base::fatalError("through the list", "/src/Auth/AuthClient.cpp", 12),
               "/src/Auth/AuthClient\\.cpp:12: Fatal error: through the list\n");
}

TEST(Check, AHoldingCheckNeverBuildsItsMessage) {
  int built = 0;
  const auto message = [&] {
    ++built;
    return std::string("unused");
  };
  VM_CHECK(built == 0, message());
  EXPECT_EQ(built, 0);
}

}  // namespace
