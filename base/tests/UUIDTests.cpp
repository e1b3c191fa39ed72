#include <set>
#include <unordered_set>

#include <gtest/gtest.h>

#include "base/SecureRandom.hpp"
#include "base/UUID.hpp"

namespace {

using velmoria::base::UUID;

TEST(UUID, TextFormIsUpperCaseHyphenatedWhateverTheInputCase) {
  const auto lower = UUID::fromString("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
  const auto mixed = UUID::fromString("6BA7b810-9DAD-11d1-80B4-00c04FD430C8");
  ASSERT_TRUE(lower && mixed);
  EXPECT_EQ(*lower, *mixed);
  EXPECT_EQ(lower->uuidString(), "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
  EXPECT_EQ(UUID().uuidString(), "00000000-0000-0000-0000-000000000000");
  EXPECT_EQ(UUID::fromString("00000000-0000-0000-0000-000000000000"), UUID());
}

TEST(UUID, RejectsEverythingButTheCanonicalShape) {
  for (const char* text : {"", "6ba7b810-9dad-11d1-80b4-00c04fd430c", "6ba7b810-9dad-11d1-80b4-00c04fd430c8a",
                           "6ba7b8109dad11d180b400c04fd430c8", "{6ba7b810-9dad-11d1-80b4-00c04fd430c}",
                           "6ba7b810_9dad-11d1-80b4-00c04fd430c8", "6ba7b81-09dad-11d1-80b4-00c04fd430c8",
                           "6ba7b810-9dad-11d1-80b4-00c04fd430cg", " ba7b810-9dad-11d1-80b4-00c04fd430c8",
                           "6ba7b810-9dad-11d1-80b4-00c04fd430+8"}) {
    EXPECT_FALSE(UUID::fromString(text)) << text;
  }
}

TEST(UUID, RandomIsVersion4VariantOneAndRoundTrips) {
  std::unordered_set<UUID> seen;
  for (int i = 0; i < 200; ++i) {
    const UUID id = UUID::random();
    EXPECT_EQ(id.bytes()[6] >> 4, 4);
    EXPECT_EQ(id.bytes()[8] >> 6, 2);
    const std::string text = id.uuidString();
    EXPECT_EQ(text[14], '4');
    EXPECT_EQ(UUID::fromString(text), id);
    EXPECT_TRUE(seen.insert(id).second);
  }
}

TEST(UUID, OrdersByBytesAndHashesByValue) {
  const auto a = *UUID::fromString("00000000-0000-0000-0000-0000000000FF");
  const auto b = *UUID::fromString("00000000-0000-0000-0000-000000000100");
  EXPECT_LT(a, b);
  const std::set<UUID> ordered{b, a};
  EXPECT_EQ(*ordered.begin(), a);
  EXPECT_EQ(std::hash<UUID>{}(a), std::hash<UUID>{}(*UUID::fromString("00000000-0000-0000-0000-0000000000ff")));
}

TEST(SecureRandom, FillsTheWholeRequestAndDiffersBetweenCalls) {
  EXPECT_TRUE(velmoria::base::secureRandomBytes(0).empty());
  const velmoria::base::Data first = velmoria::base::secureRandomBytes(64);
  const velmoria::base::Data second = velmoria::base::secureRandomBytes(64);
  ASSERT_EQ(first.size(), 64u);
  EXPECT_NE(first, second);
}

}  // namespace
