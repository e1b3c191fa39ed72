#include <gtest/gtest.h>

#include "velmoria/BrowserRedirector.hpp"

using velmoria::BrowserRedirector;

namespace {

TEST(RedirectorInternationalHosts, AListedNameWithOtherLettersMatchesTheTabInEitherForm) {
  const std::vector<std::string> list{"bücher.de"};
  EXPECT_TRUE(BrowserRedirector::isBlockedHost("xn--bcher-kva.de", list));
  EXPECT_TRUE(BrowserRedirector::isBlockedHost("shop.xn--bcher-kva.de", list));
  EXPECT_TRUE(BrowserRedirector::isBlockedHost("bücher.de", list));
  EXPECT_FALSE(BrowserRedirector::isBlockedHost("xn--bcher-kva.com", list));
  EXPECT_TRUE(BrowserRedirector::isBlockedHost("bücher.de", {"xn--bcher-kva.de"}));

  const auto tab = BrowserRedirector::hostOfURL("https://www.xn--bcher-kva.de/neu");
  ASSERT_TRUE(tab.has_value());
  EXPECT_TRUE(BrowserRedirector::isBlockedHost(*tab, list));
}

}  // namespace
