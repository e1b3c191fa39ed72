#include <set>

#include <gtest/gtest.h>

#include "functions/FunctionInvokeOptions.hpp"
#include "functions/FunctionRegion.hpp"

namespace zirudeze::functions {
namespace {

using Method = FunctionInvokeOptions::Method;

TEST(FunctionRegions, RawValuesAreExactAndOnlyTheyAreRecognised) {
  EXPECT_EQ(rawValue(FunctionRegion::apNortheast1), "ap-northeast-1");
  EXPECT_EQ(rawValue(FunctionRegion::caCentral1), "ca-central-1");
  EXPECT_EQ(rawValue(FunctionRegion::saEast1), "sa-east-1");
  EXPECT_EQ(rawValue(FunctionRegion::usWest2), "us-west-2");
  std::set<std::string_view> texts;
  for (const auto region : allFunctionRegions()) {
    texts.insert(rawValue(region));
    EXPECT_EQ(functionRegionFromRawValue(rawValue(region)), region);
  }
  EXPECT_EQ(texts.size(), 14u);
  EXPECT_EQ(functionRegionFromRawValue("us-east-1"), FunctionRegion::usEast1);
  EXPECT_FALSE(functionRegionFromRawValue("US-EAST-1"));
  EXPECT_FALSE(functionRegionFromRawValue("us-east-3"));
  EXPECT_FALSE(functionRegionFromRawValue(""));
}

TEST(FunctionRegions, ARegionTextComesFromATextOrARegion) {
  EXPECT_EQ(RegionText(FunctionRegion::euWest3), std::optional<std::string>("eu-west-3"));
  EXPECT_EQ(RegionText(std::optional<FunctionRegion>()), std::nullopt);
  EXPECT_EQ(RegionText("anywhere"), std::optional<std::string>("anywhere"));
  EXPECT_EQ(RegionText(), std::nullopt);
}

TEST(FunctionMethods, RawValuesAreUpperCaseOnly) {
  EXPECT_EQ(rawValue(Method::get), "GET");
  EXPECT_EQ(rawValue(Method::post), "POST");
  EXPECT_EQ(rawValue(Method::put), "PUT");
  EXPECT_EQ(rawValue(Method::patch), "PATCH");
  EXPECT_EQ(rawValue(Method::delete_), "DELETE");
  EXPECT_EQ(methodFromRawValue("DELETE"), Method::delete_);
  EXPECT_FALSE(methodFromRawValue("get"));
  EXPECT_FALSE(methodFromRawValue("HEAD"));
}

TEST(FunctionInvokeOptionsValues, OptionsKeepWhatTheyAreGiven) {
  const FunctionInvokeOptions none;
  EXPECT_FALSE(none.method);
  EXPECT_TRUE(none.headers.empty());
  EXPECT_FALSE(none.body);
  EXPECT_FALSE(none.region);
  EXPECT_TRUE(none.query.empty());

  const FunctionInvokeOptions given(
      {.method = Method::put, .query = {{"a", "b"}}, .headers = {{"X-A", "1"}}, .region = FunctionRegion::euWest1},
      std::string("text"));
  EXPECT_EQ(given.method, Method::put);
  EXPECT_EQ(given.region, "eu-west-1");
  EXPECT_EQ(given.query, (std::vector<velmoria::base::URLQueryItem>{{"a", "b"}}));
  EXPECT_EQ(given.headers[*http::HTTPField::Name::make("X-A")], "1");
  EXPECT_EQ(given.headers[http::HTTPField::Name::contentType()], "text/plain");
  EXPECT_EQ(given.body, velmoria::base::dataFromString("text"));
}

}  // namespace
}  // namespace zirudeze::functions
