#include <gtest/gtest.h>

#include "StorageTestSupport.hpp"
#include "helpers/SharedJSONCoders.hpp"
#include "storage/StorageCoders.hpp"
#include "storage/StorageError.hpp"
#include "storage/StorageOptions.hpp"
#include "storage/StorageRecords.hpp"
#include "storage/TransformOptions.hpp"

namespace zirudeze::storage {
namespace {

template <class T>
T decoded(std::string_view json) {
  return storageJSONDecoder().decode<T>(json);
}

std::string plain(const auto& value) { return storagePlainJSONEncoder().encodeToString(value); }

TEST(StorageRecordDecodingTest, AListingEntryNeedsOnlyItsName) {
  const auto entry = decoded<FileObject>(R"({"name":"a.txt","extra":1})");
  EXPECT_EQ(entry.name, "a.txt");
  EXPECT_FALSE(entry.id || entry.bucketId || entry.owner || entry.updatedAt || entry.createdAt ||
               entry.lastAccessedAt || entry.metadata || entry.buckets);

  const auto folder = decoded<FileObject>(R"({"name":"dir","id":null,"metadata":null,"updated_at":null})");
  EXPECT_FALSE(folder.id);
  EXPECT_FALSE(folder.metadata);
  EXPECT_THROW(decoded<FileObject>(R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e"})"), velmoria::base::DecodingError);
  EXPECT_THROW(decoded<FileObject>(R"({"name":"a","id":"not-a-uuid"})"), velmoria::base::DecodingError);
  EXPECT_THROW(decoded<FileObject>(R"({"name":"a","owner":7})"), velmoria::base::DecodingError);
}

TEST(StorageRecordDecodingTest, AFullListingEntryKeepsDatesMetadataAndItsBucket) {
  const auto entry = decoded<FileObject>(R"({
    "name":"a.txt","bucket_id":"photos","owner":"u1","id":"0F8FAD5B-D9CB-469F-A165-70867728950E",
    "updated_at":"2024-03-01T12:00:00.123Z","created_at":"2024-03-01T12:00:00Z",
    "last_accessed_at":"2024-03-01T12:00:01.5Z","metadata":{"size":3,"nested":{"k":[1,"x",null]}},
    "buckets":{"id":"photos","name":"photos","owner":"","public":true,
               "created_at":"2024-01-01T00:00:00Z","updated_at":"2024-01-02T00:00:00Z"}})");
  EXPECT_EQ(entry.bucketId, "photos");
  EXPECT_EQ(entry.id->uuidString(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
  EXPECT_EQ(*entry.updatedAt - *entry.createdAt, std::chrono::milliseconds(123));
  EXPECT_EQ(entry.metadata->at("size"), helpers::AnyJSON(3));
  ASSERT_TRUE(entry.buckets);
  EXPECT_TRUE(entry.buckets->isPublic);
  // Written under the wire keys, so a reply read, written and read again is the same record.
  EXPECT_EQ(decoded<FileObject>(helpers::JSONEncoder::shared().encodeToString(entry)), entry);
}

TEST(StorageRecordDecodingTest, BucketsRequireTheirDatesAndMayLackLimits) {
  const auto bucket = decoded<Bucket>(R"({"id":"b","name":"b","owner":"o","public":false,
      "created_at":"2024-01-01T00:00:00Z","updated_at":"2024-01-01T00:00:00Z"})");
  EXPECT_FALSE(bucket.allowedMimeTypes);
  EXPECT_FALSE(bucket.fileSizeLimit);
  const auto limited = decoded<Bucket>(R"({"id":"b","name":"b","owner":"o","public":true,
      "created_at":"2024-01-01T00:00:00Z","updated_at":"2024-01-01T00:00:00Z",
      "allowed_mime_types":["image/png"],"file_size_limit":1048576})");
  EXPECT_EQ(limited.fileSizeLimit, 1048576);
  EXPECT_EQ(limited.allowedMimeTypes, std::vector<std::string>{"image/png"});
  EXPECT_THROW(
      decoded<Bucket>(R"({"id":"b","name":"b","owner":"o","public":false,"updated_at":"2024-01-01T00:00:00Z"})"),
      velmoria::base::DecodingError);
  EXPECT_THROW(decoded<Bucket>(R"({"id":"b","name":"b","owner":"o","public":"yes",
      "created_at":"2024-01-01T00:00:00Z","updated_at":"2024-01-01T00:00:00Z"})"),
               velmoria::base::DecodingError);
  EXPECT_THROW(decoded<Bucket>(R"({"id":"b","name":"b","owner":"o","public":false,
      "created_at":"yesterday","updated_at":"2024-01-01T00:00:00Z"})"),
               velmoria::base::DecodingError);
}

TEST(StorageRecordDecodingTest, DetailedObjectsNeedIdVersionAndName) {
  const auto info = decoded<FileObjectV2>(R"({"id":"i","version":"v","name":"n","cache_control":"max-age=60",
      "content_type":"image/png","etag":"\"e\"","last_modified":"2024-03-01T12:00:00Z","metadata":{}})");
  EXPECT_FALSE(info.size);
  EXPECT_EQ(info.cacheControl, "max-age=60");
  EXPECT_EQ(info.contentType, "image/png");
  EXPECT_TRUE(info.metadata && info.metadata->empty());
  EXPECT_EQ(decoded<FileObjectV2>(R"({"id":"i","version":"v","name":"n","size":42})").size, 42);
  EXPECT_THROW(decoded<FileObjectV2>(R"({"id":"i","name":"n"})"), velmoria::base::DecodingError);
}

TEST(StorageRecordDecodingTest, SigningEntriesAndErrorBodies) {
  const auto entry = decoded<SignedURL>(R"({"error":null,"signedURL":"/object/sign/b/a.txt?token=t","path":"a.txt"})");
  EXPECT_FALSE(entry.error);
  EXPECT_EQ(entry.signedURL.absoluteString(), "/object/sign/b/a.txt?token=t");
  EXPECT_THROW(decoded<SignedURL>(R"({"error":"gone","signedURL":null,"path":"a.txt"})"),
               velmoria::base::DecodingError);

  const auto error = decoded<StorageError>(R"({"statusCode":"404","error":"not_found","message":"Object not found"})");
  EXPECT_EQ(error, StorageError("404", "Object not found", "not_found"));
  EXPECT_STREQ(error.what(), "Object not found");
  EXPECT_EQ(decoded<StorageError>(R"({"message":"m"})"), StorageError(std::nullopt, "m", std::nullopt));
  EXPECT_THROW(decoded<StorageError>(R"({"statusCode":"400","error":"e"})"), velmoria::base::DecodingError);
  EXPECT_THROW(decoded<StorageError>(R"({"statusCode":404,"message":"m"})"), velmoria::base::DecodingError);
}

TEST(StorageOptionEncodingTest, OptionsWriteOnlyWhatIsPresent) {
  EXPECT_EQ(plain(SearchOptions(10)), R"({"prefix":"","limit":10})");
  EXPECT_EQ(plain(SortBy{"name", std::nullopt}), R"({"column":"name"})");
  EXPECT_EQ(plain(defaultSearchOptions()),
            R"({"prefix":"","limit":100,"offset":0,"sortBy":{"column":"name","order":"asc"}})");
  EXPECT_EQ(storageJSONEncoder().encodeToString(defaultSearchOptions()),
            R"({"prefix":"","limit":100,"offset":0,"sort_by":{"column":"name","order":"asc"}})");
  const auto& defaults = defaultFileOptions();
  EXPECT_EQ(defaults.cacheControl, "3600");
  EXPECT_EQ(defaults.contentType, "text/plain;charset=UTF-8");
  EXPECT_FALSE(defaults.upsert || defaults.duplex || defaults.metadata || defaults.headers);
}

TEST(TransformOptionsTest, ItemsAndJSONFollowTheFixedOrder) {
  EXPECT_TRUE(TransformOptions{}.queryItems().empty());
  EXPECT_EQ(plain(TransformOptions{}), "{}");

  const TransformOptions some{300, std::nullopt, std::nullopt, std::nullopt, "webp"};
  EXPECT_EQ(some.queryItems(), (std::vector<velmoria::base::URLQueryItem>{{"width", "300"}, {"format", "webp"}}));
  EXPECT_EQ(plain(some), R"({"width":300,"format":"webp"})");

  const TransformOptions all{-1, 20, "fill this", 0, "origin"};
  EXPECT_EQ(all.queryItems(),
            (std::vector<velmoria::base::URLQueryItem>{
                {"width", "-1"}, {"height", "20"}, {"resize", "fill this"}, {"quality", "0"}, {"format", "origin"}}));
  EXPECT_EQ(plain(all), R"({"width":-1,"height":20,"resize":"fill this","quality":0,"format":"origin"})");
}

}  // namespace
}  // namespace zirudeze::storage
