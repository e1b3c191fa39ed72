#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "StorageTestSupport.hpp"
#include "helpers/URLError.hpp"
#include "storage/StorageError.hpp"

namespace zirudeze::storage {
namespace {

using Json = nlohmann::json;
using testing::ScriptedSession;
using testing::StorageServiceTest;
using testing::text;

// Fetches a URL on its own, as a browser given it would.
std::string fetched(const velmoria::base::URL& url) {
  helpers::URLRequest request;
  request.url = url.absoluteString();
  return text(helpers::CurlTransport::shared()->data(request).first);
}

std::shared_ptr<StorageFileApi> filesAt(const std::string& serviceURL, ScriptedSession& session) {
  const ZirudezeStorageClient client(testing::configurationFor(serviceURL, {}, session.session()));
  return client.from("bucket");
}

TEST_F(StorageServiceTest, SignedURLsLeadToTheObject) {
  storage.putObject("photos", "dir/cat.png", "meow", "image/png");
  const auto signedURL = files->createSignedURL("dir/cat.png", 60);
  const auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.path, "/storage/v1/object/sign/photos/dir/cat.png");
  EXPECT_EQ(sent.body, R"({"expiresIn":60})");
  EXPECT_EQ(sent.header("Content-Type"), "application/json");
  EXPECT_EQ(signedURL.absoluteString().rfind(serviceURL() + "/object/sign/photos/dir/cat.png?token=tok-", 0), 0u);

  // The URL works on its own, without the client.
  EXPECT_EQ(fetched(signedURL), "meow");

  files->createSignedURL("dir/cat.png", 30, std::nullopt,
                         TransformOptions{100, 50, "cover", std::nullopt, std::nullopt});
  EXPECT_EQ(backend.lastRequest().body, R"({"expiresIn":30,"transform":{"width":100,"height":50,"resize":"cover"}})");
}

TEST_F(StorageServiceTest, ADownloadFlagAddsALastEmptyDownloadItem) {
  storage.putObject("photos", "a.txt", "A");
  const auto flagged = files->createSignedURL("a.txt", 60, true);
  const velmoria::base::URLComponents components(flagged);
  const auto items = *components.queryItems();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "token");
  EXPECT_EQ(items[1], (velmoria::base::URLQueryItem{"download", ""}));
  EXPECT_EQ(flagged.absoluteString().substr(flagged.absoluteString().size() - 10), "&download=");

  EXPECT_EQ(files->createSignedURL("a.txt", 60, false).absoluteString().find("download"), std::string::npos);
  const auto named = files->createSignedURL("a.txt", 60, "my file&x=1.txt");
  EXPECT_EQ(velmoria::base::URLComponents(named).queryItems()->back(),
            (velmoria::base::URLQueryItem{"download", "my file&x=1.txt"}));
}

TEST_F(StorageServiceTest, SigningManyAnswersInReplyOrderAndFailsAsAWhole) {
  storage.putObject("photos", "a.txt", "A");
  storage.putObject("photos", "b.txt", "B");
  const auto urls = files->createSignedURLs({"b.txt", "a.txt"}, 120, true);
  const auto sent = backend.lastRequest();
  EXPECT_EQ(sent.path, "/storage/v1/object/sign/photos");
  EXPECT_EQ(sent.body, R"({"expiresIn":120,"paths":["b.txt","a.txt"]})");
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_NE(urls[0].absoluteString().find("/object/sign/photos/b.txt?token="), std::string::npos);
  EXPECT_NE(urls[1].absoluteString().find("/object/sign/photos/a.txt?token="), std::string::npos);
  EXPECT_EQ(velmoria::base::URLComponents(urls[1]).queryItems()->back(),
            (velmoria::base::URLQueryItem{"download", ""}));

  EXPECT_THROW(files->createSignedURLs({"a.txt", "missing.txt"}, 60), velmoria::base::DecodingError);
  storage.failNext(velmoria::testsupport::ScriptedResponse::json(200, "[]"));
  EXPECT_TRUE(files->createSignedURLs({"a.txt"}, 60).empty());
}

TEST(SignedURLAssemblyTest, TheSignedPathFollowsTheConfiguredPathAndTheSignedQueryReplacesItsQuery) {
  ScriptedSession session;
  const auto files = filesAt("https://p.example/storage/v1?configured=1", session);
  EXPECT_EQ(files->makeSignedURL("object/sign/b/x.txt?token=abc.def&t=2", std::nullopt).absoluteString(),
            "https://p.example/storage/v1/object/sign/b/x.txt?token=abc.def&t=2");
  EXPECT_EQ(files->makeSignedURL("/object/sign/b/x%20y.txt?token=a%2Bb", "").absoluteString(),
            "https://p.example/storage/v1/object/sign/b/x%20y.txt?token=a%2Bb&download=");
  EXPECT_EQ(files->makeSignedURL("/object/sign/b/x.txt", std::nullopt).absoluteString(),
            "https://p.example/storage/v1/object/sign/b/x.txt");
  EXPECT_EQ(files->makeSignedURL("/object/sign/b/x.txt", "n+1 #2.txt").absoluteString(),
            "https://p.example/storage/v1/object/sign/b/x.txt?download=n%2B1%20%232.txt");
  for (const char* unusable : {"/a b?token=1", "http://[::1/x", "/x?token=%zz"}) {
    try {
      files->makeSignedURL(unusable, std::nullopt);
      ADD_FAILURE() << "accepted " << unusable;
    } catch (const helpers::URLError& error) {
      EXPECT_EQ(error.code(), helpers::URLError::Code::badURL) << unusable;
    }
  }
  EXPECT_TRUE(session.requests().empty());
}

TEST(PublicURLTest, PublicURLsAreBuiltWithoutAskingTheService) {
  ScriptedSession session;
  const auto files = filesAt("https://p.example/storage/v1?k=v", session);
  EXPECT_EQ(files->getPublicURL("dir/a b.png").absoluteString(),
            "https://p.example/storage/v1/object/public/bucket/dir/a%20b.png");
  EXPECT_EQ(files->getPublicURL("a.png", true).absoluteString(),
            "https://p.example/storage/v1/object/public/bucket/a.png?download=");
  EXPECT_EQ(files->getPublicURL("a.png", false).absoluteString(),
            "https://p.example/storage/v1/object/public/bucket/a.png");
  EXPECT_EQ(files->getPublicURL("a.png", "pic.png", TransformOptions{200, std::nullopt, std::nullopt, 80, std::nullopt})
                .absoluteString(),
            "https://p.example/storage/v1/render/image/public/bucket/a.png?download=pic.png&width=200&quality=80");
  EXPECT_EQ(files->getPublicURL("a.png", std::nullopt, TransformOptions{}).absoluteString(),
            "https://p.example/storage/v1/render/image/public/bucket/a.png");
  EXPECT_TRUE(session.requests().empty());
}

TEST_F(StorageServiceTest, PublicURLsOfAPublicBucketServeTheObject) {
  storage.addBucket("open", true);
  storage.putObject("open", "hello.txt", "hi there");
  const auto publicURL = client->from("open")->getPublicURL("hello.txt");
  EXPECT_EQ(fetched(publicURL), "hi there");
}

TEST_F(StorageServiceTest, DownloadsFetchTheBytesThroughTheImageServiceWhenTransformed) {
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  storage.putObject("photos", "dir/p.jpg", bytes, "image/jpeg");
  EXPECT_EQ(text(files->download("dir/p.jpg")), bytes);
  auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "GET");
  EXPECT_EQ(sent.target, "/storage/v1/object/photos/dir/p.jpg");

  const auto transformed =
      files->download("dir/p.jpg", TransformOptions{64, 64, std::nullopt, std::nullopt, "webp"},
                      std::vector<velmoria::base::URLQueryItem>{{"v", "2"}, {"flag", std::nullopt}});
  EXPECT_EQ(text(transformed), bytes);
  sent = backend.lastRequest();
  EXPECT_EQ(sent.path, "/storage/v1/render/image/authenticated/photos/dir/p.jpg");
  EXPECT_EQ(sent.rawQuery, "width=64&height=64&format=webp&v=2&flag");

  files->download("dir/p.jpg", std::nullopt, std::vector<velmoria::base::URLQueryItem>{{"v", "3"}});
  EXPECT_EQ(backend.lastRequest().target, "/storage/v1/object/photos/dir/p.jpg?v=3");
  EXPECT_THROW(files->download("missing.jpg"), StorageError);
}

}  // namespace
}  // namespace zirudeze::storage
