#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "StorageTestSupport.hpp"
#include "storage/StorageError.hpp"

namespace zirudeze::storage {
namespace {

using Json = nlohmann::json;
using testing::StorageServiceTest;

TEST_F(StorageServiceTest, CreatingABucketSendsItsIdAsNameAndOnlyTheLimitsGiven) {
  client->createBucket("plain");
  auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.path, "/storage/v1/bucket");
  EXPECT_EQ(sent.header("Content-Type"), "application/json");
  EXPECT_EQ(Json::parse(sent.body), Json::parse(R"({"id":"plain","name":"plain","public":false})"));

  client->createBucket("limited", BucketOptions{true, "5MB", std::vector<std::string>{"image/png", "image/*"}});
  EXPECT_EQ(Json::parse(backend.lastRequest().body),
            Json::parse(R"({"id":"limited","name":"limited","public":true,"file_size_limit":"5MB",
                            "allowed_mime_types":["image/png","image/*"]})"));
  client->createBucket("typed", BucketOptions{false, std::nullopt, std::vector<std::string>{}});
  EXPECT_EQ(Json::parse(backend.lastRequest().body),
            Json::parse(R"({"id":"typed","name":"typed","public":false,"allowed_mime_types":[]})"));

  const auto buckets = client->listBuckets();
  ASSERT_EQ(buckets.size(), 4u);
  const auto limited = client->getBucket("limited");
  EXPECT_TRUE(limited.isPublic);
  EXPECT_EQ(limited.fileSizeLimit, 5 * 1024 * 1024);
  EXPECT_EQ(limited.allowedMimeTypes, (std::vector<std::string>{"image/png", "image/*"}));
  EXPECT_THROW(client->createBucket("plain"), StorageError);
}

TEST_F(StorageServiceTest, BucketsAreUpdatedEmptiedAndDeletedUnderTheirOwnPath) {
  storage.putObject("photos", "a.png", "x");
  client->updateBucket("photos", BucketOptions{true, std::nullopt, std::nullopt});
  auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "PUT");
  EXPECT_EQ(sent.path, "/storage/v1/bucket/photos");
  EXPECT_EQ(Json::parse(sent.body), Json::parse(R"({"id":"photos","name":"photos","public":true})"));
  EXPECT_TRUE(client->getBucket("photos").isPublic);

  EXPECT_THROW(client->deleteBucket("photos"), StorageError);
  client->emptyBucket("photos");
  sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.path, "/storage/v1/bucket/photos/empty");
  EXPECT_TRUE(sent.body.empty());
  EXPECT_FALSE(sent.header("Content-Type"));
  EXPECT_EQ(storage.objectCount("photos"), 0u);

  client->deleteBucket("photos");
  EXPECT_EQ(backend.lastRequest().method, "DELETE");
  EXPECT_TRUE(storage.bucketIds().empty());
}

TEST_F(StorageServiceTest, BucketIdsArePercentEncodedAndTheirSlashesSeparatePaths) {
  storage.addBucket("my bucket");
  EXPECT_EQ(client->getBucket("my bucket").id, "my bucket");
  EXPECT_EQ(backend.lastRequest().target, "/storage/v1/bucket/my%20bucket");
  EXPECT_THROW(client->getBucket("a/b"), StorageError);
  EXPECT_EQ(backend.lastRequest().target, "/storage/v1/bucket/a/b");
  EXPECT_TRUE(backend.lastRequest().rawQuery.empty());
}

}  // namespace
}  // namespace zirudeze::storage
