#include "platform/ExternalURLOpener.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"
#include "testsupport/StubOpener.hpp"

namespace fs = std::filesystem;

namespace {

TEST(ExternalURLOpener, TheURLArrivesAsExactlyOneArgumentWhateverItHolds) {
  for (const std::string url :
       {"https://example.com/cb?code=1&state=2", "myapp://cb#a b;echo owned; $(touch x) `id`"}) {
    const testsupport::StubOpener stub;
    ASSERT_TRUE(platform::openURLExternally(url));
    EXPECT_EQ(stub.arguments(), (std::vector<std::string>{"1", url}));
    EXPECT_FALSE(fs::exists("x"));
  }
}

TEST(ExternalURLOpener, TextTheOpenerWouldTakeForAnOptionIsNotHandedOn) {
  const testsupport::StubOpener stub;
  EXPECT_FALSE(platform::openURLExternally("--help"));
  EXPECT_FALSE(platform::openURLExternally(""));
}

TEST(ExternalURLOpener, AMissingOpenerIsReportedNotThrown) {
  const testsupport::ScratchFolder empty;
  const testsupport::ScopedEnvironment path("PATH", empty.path().string());
  EXPECT_FALSE(platform::openURLExternally("https://example.com"));
}

}  // namespace
