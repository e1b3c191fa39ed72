#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ExternalURLOpener.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"
#include "testsupport/StubOpener.hpp"

namespace fs = std::filesystem;

namespace {

TEST(ExternalURLOpener, TheURLArrivesAsExactlyOneArgumentWhateverItHolds) {
  for (const std::string url :
       {"https://example.com/cb?code=1&state=2", "myapp://cb#a b;echo owned; $(touch x) `id`"}) {
    const velmoria::testsupport::StubOpener stub;
    ASSERT_TRUE(velmoria::platform::openURLExternally(url));
    EXPECT_EQ(stub.arguments(), (std::vector<std::string>{"1", url}));
    EXPECT_FALSE(fs::exists("x"));
  }
}

TEST(ExternalURLOpener, TextTheOpenerWouldTakeForAnOptionIsNotHandedOn) {
  const velmoria::testsupport::StubOpener stub;
  EXPECT_FALSE(velmoria::platform::openURLExternally("--help"));
  EXPECT_FALSE(velmoria::platform::openURLExternally(""));
}

TEST(ExternalURLOpener, AMissingOpenerIsReportedNotThrown) {
  const velmoria::testsupport::ScratchFolder empty;
  const velmoria::testsupport::ScopedEnvironment path("PATH", empty.path().string());
  EXPECT_FALSE(velmoria::platform::openURLExternally("https://example.com"));
}

}  // namespace
