#include <gtest/gtest.h>

#include "auth/URLOpener.hpp"
#include "testsupport/StubOpener.hpp"

namespace zirudeze::auth {
namespace {

TEST(URLOpener, TheLiveOpenerHandsTheURLAsOneArgumentToTheDesktopOpener) {
  const velmoria::testsupport::StubOpener stub;
  const auto url =
      velmoria::base::URL::parse("https://p.example/authorize?redirect_to=myapp://cb&x=a%20b;$(touch%20owned)");
  ASSERT_TRUE(url);
  URLOpener::live().open(*url);
  EXPECT_EQ(stub.arguments(), (std::vector<std::string>{"1", url->absoluteString()}));
}

}  // namespace
}  // namespace zirudeze::auth
