#include <gtest/gtest.h>

#include "base/Coding.hpp"
#include "base/URL.hpp"
#include "base/UUID.hpp"

namespace {

using velmoria::base::DecodingError;

struct Link {
  velmoria::base::UUID id;
  velmoria::base::URL target;

  void encode(velmoria::base::Encoder& encoder) const {
    auto c = encoder.container();
    c.encode("id", id);
    c.encode("target", target);
  }
  static Link decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    return {c.decode<velmoria::base::UUID>("id"), c.decode<velmoria::base::URL>("target")};
  }
};

DecodingError failure(std::string_view json) {
  try {
    velmoria::base::JSONDecoder().decode<Link>(json);
  } catch (const DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "decoded: " << json;
  throw std::logic_error("no error");
}

TEST(ValueCoding, UUIDAndURLTravelAsTheirTextForms) {
  const Link link{*velmoria::base::UUID::fromString("6ba7b810-9dad-11d1-80b4-00c04fd430c8"),
                  *velmoria::base::URL::parse("https://h/p?q=1")};
  const velmoria::base::Json json = velmoria::base::JSONEncoder().encodeToJson(link);
  EXPECT_EQ(json["id"], "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
  EXPECT_EQ(json["target"], "https://h/p?q=1");
  const Link back = velmoria::base::JSONDecoder().decodeJson<Link>(json);
  EXPECT_EQ(back.id, link.id);
  EXPECT_EQ(back.target, link.target);
}

TEST(ValueCoding, InvalidTextIsDataCorruptedAtItsKey) {
  const auto badUUID = failure(R"({"id": "6ba7b810-9dad-11d1-80b4", "target": "https://h"})");
  EXPECT_EQ(badUUID.kind(), DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(badUUID.debugDescription(), "Attempted to decode UUID from invalid UUID string.");
  ASSERT_EQ(badUUID.codingPath().size(), 1u);
  EXPECT_EQ(badUUID.codingPath()[0].stringValue, "id");

  const auto badURL = failure(R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "target": "not a url"})");
  EXPECT_EQ(badURL.kind(), DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(badURL.debugDescription(), "Invalid URL string.");
  ASSERT_EQ(badURL.codingPath().size(), 1u);
  EXPECT_EQ(badURL.codingPath()[0].stringValue, "target");

  EXPECT_EQ(failure(R"({"id": 7, "target": "https://h"})").kind(), DecodingError::Kind::typeMismatch);
  EXPECT_EQ(failure(R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "target": ""})").kind(),
            DecodingError::Kind::dataCorrupted);
}

}  // namespace
