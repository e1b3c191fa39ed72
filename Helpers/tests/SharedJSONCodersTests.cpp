#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "helpers/AnyJSON.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::helpers {
namespace {

using namespace std::chrono;

struct Visit {
  std::string placeName;
  velmoria::base::Date startedAt;

  void encode(velmoria::base::Encoder& encoder) const {
    auto c = encoder.container();
    c.encode("placeName", placeName);
    c.encode("startedAt", startedAt);
  }
  static Visit decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    return {c.decode<std::string>("placeName"), c.decode<velmoria::base::Date>("startedAt")};
  }
};

struct Account {
  std::string accountName;
  std::vector<Visit> recentVisits;
  JSONObject userMetadata;
  std::map<std::string, int> countsByName;

  void encode(velmoria::base::Encoder& encoder) const {
    auto c = encoder.container();
    c.encode("accountName", accountName);
    c.encode("recentVisits", recentVisits);
    c.encode("userMetadata", userMetadata);
    c.encode("countsByName", countsByName);
  }
  static Account decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    return {c.decode<std::string>("accountName"), c.decode<std::vector<Visit>>("recentVisits"),
            c.decode<JSONObject>("userMetadata"), c.decode<std::map<std::string, int>>("countsByName")};
  }
};

velmoria::base::Date visitTime() { return velmoria::base::Date(sys_days(2024y / 3 / 5) + 17h + 4min + 9s + 250ms); }

Account sampleAccount() {
  JSONObject metadata{{"displayName", "Ada"}, {"nestedValue", AnyJSON::object({{"innerKey", 1}})}};
  return {"u-1", {{"Home Office", visitTime()}}, metadata, {{"camelKey", 2}}};
}

velmoria::base::Json compact(std::string_view text) { return velmoria::base::Json::parse(text); }

TEST(SharedJSONCoders, ConvertKeysOfNestedRecordsButNeverOfFreeFormMaps) {
  velmoria::base::JSONEncoder encoder = JSONEncoder::makeDefault();
  encoder.settings.keyEncodingStrategy = velmoria::base::KeyEncodingStrategy::convertToSnakeCase;
  const velmoria::base::Json written = encoder.encodeToJson(sampleAccount());
  EXPECT_EQ(written, compact(R"({"account_name":"u-1","recent_visits":[{"place_name":"Home Office",)"
                             R"("started_at":"2024-03-05T17:04:09.250"}],)"
                             R"("user_metadata":{"displayName":"Ada","nestedValue":{"innerKey":1}},)"
                             R"("counts_by_name":{"camelKey":2}})"));
  // Records keep their declared key order on the wire.
  EXPECT_EQ(encoder.dump(written).substr(0, 17), R"({"account_name":")");

  velmoria::base::JSONDecoder decoder = JSONDecoder::makeDefault();
  decoder.settings.keyDecodingStrategy = velmoria::base::KeyDecodingStrategy::convertFromSnakeCase;
  const Account read = decoder.decode<Account>(encoder.encodeToString(sampleAccount()));
  EXPECT_EQ(read.accountName, "u-1");
  ASSERT_EQ(read.recentVisits.size(), 1u);
  EXPECT_EQ(read.recentVisits[0].placeName, "Home Office");
  EXPECT_EQ(read.recentVisits[0].startedAt, visitTime());
  EXPECT_EQ(read.userMetadata, sampleAccount().userMetadata);
  EXPECT_EQ(read.countsByName, (std::map<std::string, int>{{"camelKey", 2}}));

  // Snake-case keys inside a free-form map stay as they are on reading too.
  const Account snake = decoder.decode<Account>(
      R"({"account_name":"u","recent_visits":[],"user_metadata":{"first_name":"x"},"counts_by_name":{"a_b":1}})");
  EXPECT_EQ(snake.userMetadata, (JSONObject{{"first_name", "x"}}));
  EXPECT_EQ(snake.countsByName, (std::map<std::string, int>{{"a_b", 1}}));
}

TEST(SharedJSONCoders, SharedCodersUseTheDefaultKeysAndTheWireDateForm) {
  const std::string text = JSONEncoder::shared().encodeToString(sampleAccount());
  EXPECT_NE(text.find(R"("recentVisits":[{"placeName":"Home Office","startedAt":"2024-03-05T17:04:09.250"}])"),
            std::string::npos)
      << text;
  EXPECT_EQ(JSONDecoder::shared().decode<Account>(text).recentVisits.at(0).startedAt, visitTime());
  // Database timestamps, with microseconds and an offset.
  EXPECT_EQ(JSONDecoder::shared().decode<velmoria::base::Date>(R"("2024-03-05T22:34:09.250000+05:30")"), visitTime());
  EXPECT_EQ(JSONDecoder::shared().decode<velmoria::base::Date>(R"("2024-03-05T17:04:09")"), visitTime() - 250ms);
  // Compact output, no sorting.
  EXPECT_EQ(JSONEncoder::shared().encodeToString(AnyJSON::array({1, "a"})), R"([1,"a"])");
}

TEST(SharedJSONCoders, ABadDateFailsWithItsTextAndPath) {
  const auto expectCorrupted = [](std::string_view json, const std::string& description, const std::string& path) {
    try {
      JSONDecoder::shared().decode<Account>(json);
      ADD_FAILURE() << "decoded " << json;
    } catch (const velmoria::base::DecodingError& error) {
      EXPECT_EQ(error.kind(), velmoria::base::DecodingError::Kind::dataCorrupted);
      EXPECT_EQ(error.debugDescription(), description);
      EXPECT_EQ(velmoria::base::describeCodingPath(error.codingPath()), path);
    }
  };
  const auto account = [](std::string_view date) {
    return R"({"accountName":"u","recentVisits":[{"placeName":"p","startedAt":)" + std::string(date) +
           R"(}],"userMetadata":{},"countsByName":{}})";
  };
  expectCorrupted(account(R"("2024-03-05")"), "Invalid date format: 2024-03-05", "recentVisits[0].startedAt");
  expectCorrupted(account(R"("")"), "Invalid date format: ", "recentVisits[0].startedAt");

  try {
    JSONDecoder::shared().decode<Account>(account("1709658249"));
    ADD_FAILURE() << "a number decoded as a date";
  } catch (const velmoria::base::DecodingError& error) {
    EXPECT_EQ(error.kind(), velmoria::base::DecodingError::Kind::typeMismatch);
    EXPECT_EQ(velmoria::base::describeCodingPath(error.codingPath()), "recentVisits[0].startedAt");
  }
}

TEST(SharedJSONCoders, NonFiniteNumbersFailToEncode) {
  const JSONObject object{{"ratio", std::numeric_limits<double>::quiet_NaN()}};
  try {
    JSONEncoder::shared().encodeToString(object);
    ADD_FAILURE() << "NaN was written";
  } catch (const velmoria::base::EncodingError& error) {
    EXPECT_EQ(error.debugDescription(), "Unable to encode Double.nan directly in JSON.");
    EXPECT_EQ(velmoria::base::describeCodingPath(error.context().codingPath), "ratio");
  }
}

TEST(SharedJSONCoders, FactoriesGiveIndependentCopiesOfTheSharedSettings) {
  velmoria::base::JSONDecoder decoder = JSONDecoder::makeDefault();
  decoder.settings.keyDecodingStrategy = velmoria::base::KeyDecodingStrategy::convertFromSnakeCase;
  velmoria::base::JSONEncoder encoder = JSONEncoder::makeDefault();
  encoder.settings.keyEncodingStrategy = velmoria::base::KeyEncodingStrategy::convertToSnakeCase;
  encoder.settings.outputFormatting.sortedKeys = true;

  EXPECT_EQ(JSONDecoder::shared().settings.keyDecodingStrategy, velmoria::base::KeyDecodingStrategy::useDefaultKeys);
  EXPECT_EQ(JSONEncoder::shared().settings.keyEncodingStrategy, velmoria::base::KeyEncodingStrategy::useDefaultKeys);
  EXPECT_FALSE(JSONEncoder::shared().settings.outputFormatting.sortedKeys);
  // The copies keep the date rule.
  EXPECT_EQ(decoder.decode<velmoria::base::Date>(R"("2024-03-05T17:04:09.250")"), visitTime());
  EXPECT_EQ(encoder.encodeToString(visitTime()), R"("2024-03-05T17:04:09.250")");
}

TEST(SharedJSONCoders, EveryThreadSeesTheSameSharedCoders) {
  std::vector<const velmoria::base::JSONDecoder*> decoders(8);
  std::vector<const velmoria::base::JSONEncoder*> encoders(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < decoders.size(); ++i) {
    threads.emplace_back([&, i] {
      decoders[i] = &JSONDecoder::shared();
      encoders[i] = &JSONEncoder::shared();
      for (int n = 0; n < 200; ++n) {
        const auto date = decoders[i]->decode<velmoria::base::Date>(encoders[i]->encodeToString(visitTime()));
        if (date != visitTime()) ADD_FAILURE() << "thread " << i;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t i = 1; i < decoders.size(); ++i) {
    EXPECT_EQ(decoders[i], decoders[0]);
    EXPECT_EQ(encoders[i], encoders[0]);
  }
}

}  // namespace
}  // namespace zirudeze::helpers
