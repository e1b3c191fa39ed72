#include <gtest/gtest.h>

#include "issuereporting/IsTesting.hpp"

using zirudeze::issuereporting::detectTesting;
using zirudeze::issuereporting::isTesting;

TEST(IsTesting, RunnerVariablesCountEvenWhenEmpty) {
  EXPECT_TRUE(detectTesting({"XCTestSessionIdentifier="}, {"/usr/bin/app"}));
  EXPECT_TRUE(detectTesting({"XCTestBundlePath=/x"}, {"/usr/bin/app"}));
  EXPECT_FALSE(detectTesting({"XCTestSessionIdentifierX=1", "HOME=/root"}, {"/usr/bin/app"}));
}

TEST(IsTesting, ArgumentsMatchWholeComponentsOnly) {
  EXPECT_TRUE(detectTesting({}, {"/usr/bin/app", "/opt/swiftpm-testing-helper"}));
  EXPECT_FALSE(detectTesting({}, {"/opt/swiftpm-testing-helper2"}));
  EXPECT_TRUE(detectTesting({}, {"/usr/bin/app", "--testing-library"}));
  EXPECT_FALSE(detectTesting({}, {"/usr/bin/app", "--testing-library=swift-testing"}));
  EXPECT_TRUE(detectTesting({}, {"/usr/bin/xctest"}));
  EXPECT_TRUE(detectTesting({}, {"/usr/bin/app", "/tmp/Suite.xctest"}));
  EXPECT_TRUE(detectTesting({}, {"/usr/bin/app", "/tmp/Suite.xctest/"}));
  EXPECT_FALSE(detectTesting({}, {"/usr/bin/app", "/tmp/Suite.xctest/Contents"}));
}

TEST(IsTesting, GoogleTestAndCTestRunsAreTestRuns) {
  EXPECT_TRUE(detectTesting({}, {"/build/app_tests", "--gtest_filter=A.B"}));
  EXPECT_FALSE(detectTesting({}, {"/build/app", "-gtest_filter=A.B"}));
  EXPECT_TRUE(detectTesting({"CTEST_INTERACTIVE_DEBUG_MODE=0"}, {"/build/app_tests"}));
  EXPECT_FALSE(detectTesting({"PATH=/bin"}, {"/usr/bin/velmoria"}));
}

TEST(IsTesting, ThisProgramIsUnderTestsAndTheFlagNeverChanges) {
  if (!isTesting()) GTEST_SKIP() << "run through ctest or with a --gtest_ argument";
  unsetenv("CTEST_INTERACTIVE_DEBUG_MODE");
  EXPECT_TRUE(isTesting());
}
