#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "StorageTestSupport.hpp"
#include "helpers/HTTPError.hpp"
#include "helpers/URLError.hpp"
#include "storage/StorageError.hpp"

namespace zirudeze::storage {
namespace {

using Json = nlohmann::json;
using testing::ScriptedSession;
using testing::StorageServiceTest;

TEST_F(StorageServiceTest, MovingSendsANullDestinationBucketUnlessOneIsGiven) {
  storage.putObject("photos", "a.txt", "A");
  storage.addBucket("archive");
  files->move("a.txt", "b/a.txt");
  auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.path, "/storage/v1/object/move");
  EXPECT_EQ(
      Json::parse(sent.body),
      Json::parse(R"({"bucketId":"photos","sourceKey":"a.txt","destinationKey":"b/a.txt","destinationBucket":null})"));
  EXPECT_FALSE(storage.object("photos", "a.txt"));

  files->move("b/a.txt", "kept.txt", DestinationOptions{"archive"});
  EXPECT_EQ(Json::parse(backend.lastRequest().body)["destinationBucket"], "archive");
  EXPECT_EQ(storage.object("archive", "kept.txt")->content, "A");
  EXPECT_THROW(files->move("nothing.txt", "x.txt"), StorageError);
}

TEST_F(StorageServiceTest, CopyingAnswersTheNewKey) {
  storage.putObject("photos", "a.txt", "A");
  EXPECT_EQ(files->copy("a.txt", "copies/a.txt"), "photos/copies/a.txt");
  EXPECT_EQ(backend.lastRequest().path, "/storage/v1/object/copy");
  EXPECT_TRUE(Json::parse(backend.lastRequest().body)["destinationBucket"].is_null());
  EXPECT_EQ(storage.object("photos", "copies/a.txt")->content, "A");
  storage.failNext(velmoria::testsupport::ScriptedResponse::json(200, R"({"key":"photos/x"})"));
  EXPECT_THROW(files->copy("a.txt", "x"), velmoria::base::DecodingError);
}

TEST_F(StorageServiceTest, RemovingSendsThePathsInOrderAndAnswersTheRemovedObjects) {
  storage.putObject("photos", "a.txt", "A");
  storage.putObject("photos", "b/c.txt", "C");
  const auto removed = files->remove({"b/c.txt", "missing.txt", "a.txt"});
  const auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "DELETE");
  EXPECT_EQ(sent.path, "/storage/v1/object/photos");
  EXPECT_EQ(Json::parse(sent.body), Json::parse(R"({"prefixes":["b/c.txt","missing.txt","a.txt"]})"));
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_EQ(removed[0].name, "b/c.txt");
  EXPECT_EQ(removed[0].bucketId, "photos");
  EXPECT_TRUE(removed[0].id);
  EXPECT_EQ(storage.objectCount("photos"), 0u);

  EXPECT_TRUE(files->remove({}).empty());
  EXPECT_EQ(backend.lastRequest().body, R"({"prefixes":[]})");
}

TEST_F(StorageServiceTest, ListingSendsItsDefaultsUnderTheirOwnKeysAndThePathAsPrefix) {
  storage.putObject("photos", "a.txt", "A");
  storage.putObject("photos", "dir/b.txt", "B");
  storage.putObject("photos", "dir/sub/c.txt", "C");
  const auto top = files->list();
  EXPECT_EQ(backend.lastRequest().path, "/storage/v1/object/list/photos");
  EXPECT_EQ(backend.lastRequest().body,
            R"({"prefix":"","limit":100,"offset":0,"sortBy":{"column":"name","order":"asc"}})");
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0].name, "a.txt");
  EXPECT_EQ(top[0].metadata->at("size"), helpers::AnyJSON(1));
  EXPECT_EQ(top[1].name, "dir");
  EXPECT_FALSE(top[1].id);

  SearchOptions options(1, 1, SortBy{"name", "desc"}, "b");
  options.prefix = "ignored/";
  const auto page = files->list("dir", options);
  EXPECT_EQ(
      Json::parse(backend.lastRequest().body),
      Json::parse(R"({"prefix":"dir","limit":1,"offset":1,"sortBy":{"column":"name","order":"desc"},"search":"b"})"));
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0].name, "b.txt");
  EXPECT_EQ(files->list("dir", SearchOptions(10, std::nullopt, SortBy{"name", "desc"}))[0].name, "sub");
}

TEST_F(StorageServiceTest, InfoDescribesOneObject) {
  storage.putObject("photos", "dir/pic.png", "12345", "image/png");
  const auto info = files->info("dir/pic.png");
  EXPECT_EQ(backend.lastRequest().method, "GET");
  EXPECT_EQ(backend.lastRequest().path, "/storage/v1/object/info/photos/dir/pic.png");
  EXPECT_EQ(info.name, "dir/pic.png");
  EXPECT_EQ(info.size, 5);
  EXPECT_EQ(info.contentType, "image/png");
  EXPECT_EQ(info.bucketId, "photos");
  EXPECT_THROW(files->info("none.png"), StorageError);
}

TEST_F(StorageServiceTest, ExistsAsksWithHeadAndAnswersFalseForMissingObjects) {
  storage.putObject("photos", "here.txt", "x");
  EXPECT_TRUE(files->exists("here.txt"));
  EXPECT_EQ(backend.lastRequest().method, "HEAD");
  EXPECT_EQ(backend.lastRequest().path, "/storage/v1/object/photos/here.txt");
  EXPECT_FALSE(files->exists("gone.txt"));

  for (const unsigned status : {400u, 404u}) {
    velmoria::testsupport::ScriptedResponse bare;
    bare.status = status;
    storage.failNext(bare);
    EXPECT_FALSE(files->exists("here.txt")) << status;
  }
  for (const unsigned status : {401u, 403u, 500u}) {
    velmoria::testsupport::ScriptedResponse bare;
    bare.status = status;
    storage.failNext(bare);
    try {
      files->exists("here.txt");
      ADD_FAILURE() << "answered for " << status;
    } catch (const helpers::HTTPError& error) {
      EXPECT_EQ(error.response().statusCode, static_cast<int>(status));
    }
  }
}

// A HEAD reply carries no body over the wire, so the storage error cases come through a session.
TEST(ExistsErrorBodyTest, TheErrorBodysCodeDecidesWhenThereIsOne) {
  const auto existsAfter = [](int status, const std::string& body) {
    ScriptedSession session({{status, body}});
    const ZirudezeStorageClient client(
        testing::configurationFor("https://p.example/storage/v1", {}, session.session()));
    const bool exists = client.from("b")->exists("a b.txt");
    EXPECT_EQ(session.lastRequest().httpMethod, "HEAD");
    EXPECT_EQ(session.lastRequest().url, "https://p.example/storage/v1/object/b/a%20b.txt");
    return exists;
  };
  EXPECT_FALSE(existsAfter(400, R"({"statusCode":"404","message":"m"})"));
  EXPECT_FALSE(existsAfter(500, R"({"statusCode":"400","message":"m"})"));
  EXPECT_FALSE(existsAfter(400, R"({"statusCode":"+404","message":"m"})"));
  EXPECT_TRUE(existsAfter(204, R"({"statusCode":"404","message":"m"})"));
  for (const char* code : {"abc", "", "403", "4 04", "++404", "+-404", "404.0", "99999999999999999999"}) {
    const std::string body = std::string(R"({"statusCode":")") + code + R"(","message":"m"})";
    EXPECT_THROW(existsAfter(404, body), StorageError) << code;
  }
  EXPECT_THROW(existsAfter(404, R"({"message":"no code"})"), StorageError);
  EXPECT_FALSE(existsAfter(404, "not json"));
}

}  // namespace
}  // namespace zirudeze::storage
