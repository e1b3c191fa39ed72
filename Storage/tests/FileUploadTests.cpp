#include <cmath>
#include <functional>
#include <span>
#include <utility>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "StorageTestSupport.hpp"
#include "helpers/URLError.hpp"
#include "storage/MultipartFormDataError.hpp"
#include "storage/StorageError.hpp"

namespace zirudeze::storage {
namespace {

using Json = nlohmann::json;
using testing::PeerPart;
using testing::sha256Hex;
using testing::StorageServiceTest;
using testing::TemporaryFolder;

// The parts of the last request's body as the standard email parser reads them.
std::vector<PeerPart> lastParts(const velmoria::testsupport::FakeBackend& backend) {
  const auto sent = backend.lastRequest();
  const auto reading = testing::readWithEmailParser({{sent.header("Content-Type").value_or(""), sent.body}});
  EXPECT_TRUE(reading[0].problems.empty());
  return reading[0].parts;
}

FileOptions withHeaders(std::map<std::string, std::string> headers) {
  FileOptions options;
  options.headers = std::move(headers);
  return options;
}

TEST_F(StorageServiceTest, AnUploadWithoutOptionsUsesTheDefaults) {
  const auto response = files->upload("notes/today.md", velmoria::base::dataFromString("# Hello"));
  EXPECT_EQ(response.path, "notes/today.md");
  EXPECT_EQ(response.fullPath, "photos/notes/today.md");
  EXPECT_EQ(response.id, storage.object("photos", "notes/today.md")->id);

  const auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.path, "/storage/v1/object/photos/notes/today.md");
  EXPECT_EQ(sent.header("x-upsert"), "false");
  EXPECT_EQ(sent.header("Cache-Control"), "max-age=3600");
  EXPECT_FALSE(sent.header("duplex"));
  const auto type = sent.header("Content-Type").value_or("");
  EXPECT_EQ(type.rfind("multipart/form-data; boundary=zirudeze.boundary.", 0), 0u) << type;

  const auto parts = lastParts(backend);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].name, "cacheControl");
  EXPECT_EQ(parts[0].sha256, sha256Hex("3600"));
  EXPECT_FALSE(parts[0].fileName);
  EXPECT_EQ(parts[1].name, "");
  EXPECT_EQ(parts[1].fileName, "today.md");
  EXPECT_EQ(parts[1].contentType, "text/plain;charset=UTF-8");
  EXPECT_EQ(parts[1].length, 7u);
  EXPECT_EQ(storage.object("photos", "notes/today.md")->content, "# Hello");
}

TEST_F(StorageServiceTest, OptionsWithoutAContentTypeUseTheExtensionsType) {
  FileOptions options;
  options.cacheControl = "60";
  options.upsert = true;
  options.metadata =
      helpers::JSONObject{{"owner", helpers::AnyJSON("ana")}, {"tags", helpers::AnyJSON::array({1, "x"})}};
  files->upload("pics/cat.PNG", velmoria::base::dataFromString("png!"), options);
  files->upload("pics/raw", velmoria::base::dataFromString("??"), options);
  const auto sent = backend.requests();
  EXPECT_EQ(sent[0].header("x-upsert"), "true");
  EXPECT_EQ(sent[0].header("Cache-Control"), "max-age=60");

  const auto readings = testing::readWithEmailParser(testing::multipartBodies(backend));
  ASSERT_EQ(readings[0].parts.size(), 3u);
  EXPECT_EQ(readings[0].parts[0].sha256, sha256Hex("60"));
  EXPECT_EQ(readings[0].parts[1].name, "metadata");
  EXPECT_EQ(Json::parse(storage.object("photos", "pics/cat.PNG")->metadata),
            Json::parse(R"({"owner":"ana","tags":[1,"x"]})"));
  EXPECT_EQ(readings[0].parts[2].contentType, "image/png");
  EXPECT_EQ(readings[1].parts[2].contentType, "application/octet-stream");
}

TEST_F(StorageServiceTest, UploadAndUpdateCleanTheObjectPathButAnswerWithTheCallersPath) {
  const auto uploaded = files->upload("/folder//file.txt/", velmoria::base::dataFromString("v1"));
  EXPECT_EQ(backend.lastRequest().path, "/storage/v1/object/photos/folder/file.txt");
  EXPECT_EQ(uploaded.path, "/folder//file.txt/");
  EXPECT_EQ(uploaded.fullPath, "photos/folder/file.txt");

  const auto updated = files->update("//folder///file.txt", velmoria::base::dataFromString("v2"));
  const auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "PUT");
  EXPECT_EQ(sent.path, "/storage/v1/object/photos/folder/file.txt");
  EXPECT_FALSE(sent.header("x-upsert"));
  EXPECT_EQ(updated.path, "//folder///file.txt");
  EXPECT_EQ(storage.object("photos", "folder/file.txt")->content, "v2");
  EXPECT_EQ(lastParts(backend).back().fileName, "file.txt");
}

TEST_F(StorageServiceTest, OptionHeadersWinForTypeAndCacheButNotForUpsert) {
  auto options = withHeaders({{"content-type", "multipart/form-data; boundary=zirudeze.boundary.0000000000000000"},
                              {"CACHE-CONTROL", "no-store"},
                              {"X-Upsert", "true"},
                              {"duplex", "full"},
                              {"X-Trace", "t-1"}});
  EXPECT_THROW(files->upload("a.txt", velmoria::base::dataFromString("x"), options), StorageError);
  auto sent = backend.lastRequest();
  EXPECT_EQ(sent.headerValues("Content-Type"),
            std::vector<std::string>{"multipart/form-data; boundary=zirudeze.boundary.0000000000000000"});
  EXPECT_EQ(sent.headerValues("Cache-Control"), std::vector<std::string>{"no-store"});
  EXPECT_EQ(sent.headerValues("x-upsert"), std::vector<std::string>{"false"});
  EXPECT_EQ(sent.header("X-Trace"), "t-1");
  // The duplex option decides: without it a header of that name is dropped.
  EXPECT_FALSE(sent.header("duplex"));
  backend.clearRequests();

  options = withHeaders({{"x-upsert", "true"}});
  options.duplex = "half";
  files->upload("b.txt", velmoria::base::dataFromString("x"), options);
  files->update("b.txt", velmoria::base::dataFromString("y"), withHeaders({{"x-upsert", "true"}}));
  const auto requests = backend.requests();
  EXPECT_EQ(requests[0].header("duplex"), "half");
  EXPECT_EQ(requests[0].header("x-upsert"), "false");
  EXPECT_EQ(requests[1].header("x-upsert"), "true");
}

TEST_F(StorageServiceTest, MetadataThatCannotBeEncodedIsSentAsAnEmptyObject) {
  FileOptions options;
  options.metadata = helpers::JSONObject{{"ratio", helpers::AnyJSON(std::nan(""))}};
  files->upload("m.txt", velmoria::base::dataFromString("x"), options);
  const auto parts = lastParts(backend);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[1].name, "metadata");
  EXPECT_EQ(parts[1].sha256, sha256Hex("{}"));
}

TEST_F(StorageServiceTest, FileURLsAreStreamedUnderTheirOwnNameAndType) {
  TemporaryFolder folder;
  std::string content(300000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 131) >> 3);
  const auto path = folder.write("holiday photo.jpg", content);
  FileOptions options;
  options.contentType = "text/ignored";
  const auto response = files->upload("albums/2024/beach.bin", velmoria::base::URL::fileURL(path.string()), options);
  EXPECT_EQ(response.fullPath, "photos/albums/2024/beach.bin");
  const auto parts = lastParts(backend);
  EXPECT_EQ(parts.back().fileName, "holiday photo.jpg");
  EXPECT_EQ(parts.back().contentType, "image/jpeg");
  EXPECT_EQ(parts.back().sha256, sha256Hex(content));
  EXPECT_EQ(storage.object("photos", "albums/2024/beach.bin")->content, content);

  files->update("albums/2024/beach.bin", velmoria::base::URL::fileURL(path.string()));
  EXPECT_EQ(backend.lastRequest().method, "PUT");
}

// Passes requests on to the real transport with their body stream read through a reader that runs
// `interfere` once, after the first piece of the first send has been handed out.
class InterferingStream final : public helpers::HTTPBodyStream {
 public:
  InterferingStream(std::shared_ptr<const helpers::HTTPBodyStream> inner, std::function<void()> interfere)
      : inner_(std::move(inner)), interfere_(std::move(interfere)) {}

  static StorageHTTPSession session(std::function<void()> interfere) {
    const auto fetch = [interfere](helpers::URLRequest request) {
      if (request.httpBodyStream) {
        request.httpBodyStream = std::make_shared<InterferingStream>(request.httpBodyStream, interfere);
      }
      return helpers::CurlTransport::shared()->data(request);
    };
    return StorageHTTPSession(fetch,
                              [](const helpers::URLRequest&, const velmoria::base::Data&) -> helpers::FetchResult {
                                throw std::logic_error("uploads go through fetch");
                              });
  }

  std::uint64_t length() const override { return inner_->length(); }
  std::unique_ptr<Reader> open() const override {
    return std::make_unique<InterferingReader>(inner_->open(), std::exchange(interfere_, nullptr));
  }

 private:
  class InterferingReader final : public Reader {
   public:
    InterferingReader(std::unique_ptr<Reader> inner, std::function<void()> interfere)
        : inner_(std::move(inner)), interfere_(std::move(interfere)) {}
    std::size_t read(std::span<std::uint8_t> buffer) override {
      const std::size_t count = inner_->read(buffer);
      if (interfere_) std::exchange(interfere_, nullptr)();
      return count;
    }

   private:
    std::unique_ptr<Reader> inner_;
    std::function<void()> interfere_;
  };

  std::shared_ptr<const helpers::HTTPBodyStream> inner_;
  mutable std::function<void()> interfere_;
};

TEST_F(StorageServiceTest, AFileThatShrinksOrVanishesWhileItIsSentFailsTheUploadAndStoresNothing) {
  TemporaryFolder folder;
  const std::string content(600 * 1024, 'q');
  const std::vector<std::pair<std::string, std::function<void(const std::filesystem::path&)>>> changes = {
      {"shrinks", [](const std::filesystem::path& file) { std::filesystem::resize_file(file, 1000); }},
      {"vanishes", [](const std::filesystem::path& file) { std::filesystem::remove(file); }},
  };
  for (const auto& [what, change] : changes) {
    const auto file = folder.write("big.bin", content);
    const auto interfered = std::make_shared<ZirudezeStorageClient>(
        testing::configurationFor(serviceURL(), {{"apikey", "anon-key"}},
                                  InterferingStream::session([&interfere = change, file] { interfere(file); })));
    try {
      interfered->from("photos")->upload("big.bin", velmoria::base::URL::fileURL(file.string()));
      ADD_FAILURE() << "an upload whose file " << what << " succeeded";
    } catch (const MultipartFormDataError& error) {
      EXPECT_EQ(error.kind(), MultipartFormDataError::Kind::inputStreamReadFailed) << what;
    }
    EXPECT_FALSE(storage.object("photos", "big.bin")) << what;
    EXPECT_EQ(backend.requestCount(), 0u) << "a request arrived whole although its file " << what;
  }
}

TEST(UploadBodyTest, BytesInMemoryGoAsOneBufferAndFilesAsAStream) {
  testing::ScriptedSession session({{200, R"({"Key":"b/k","Id":"1"})"}});
  const auto client = std::make_shared<ZirudezeStorageClient>(
      testing::configurationFor("http://127.0.0.1:9/storage/v1", {}, session.session()));
  client->from("b")->upload("k.txt", velmoria::base::dataFromString("in memory"));
  ASSERT_TRUE(session.lastRequest().httpBody);
  EXPECT_NE(testing::text(*session.lastRequest().httpBody).find("\r\n\r\nin memory\r\n--"), std::string::npos);
  EXPECT_FALSE(session.lastRequest().httpBodyStream);

  TemporaryFolder folder;
  const auto file = folder.write("k.txt", "on disk");
  client->from("b")->update("k.txt", velmoria::base::URL::fileURL(file.string()));
  const auto sent = session.lastRequest();
  EXPECT_FALSE(sent.httpBody);
  ASSERT_TRUE(sent.httpBodyStream);
  std::string body(sent.httpBodyStream->length(), '\0');
  const auto reader = sent.httpBodyStream->open();
  EXPECT_EQ(reader->read(std::span(reinterpret_cast<std::uint8_t*>(body.data()), body.size())), body.size());
  EXPECT_NE(body.find("\r\n\r\non disk\r\n--"), std::string::npos);
}

TEST_F(StorageServiceTest, FormErrorsAreThrownBeforeAnythingIsSent) {
  TemporaryFolder folder;
  try {
    files->upload("x", velmoria::base::URL::fileURL((folder.path() / "missing.txt").string()));
    FAIL() << "expected a form error";
  } catch (const MultipartFormDataError& error) {
    EXPECT_EQ(error.kind(), MultipartFormDataError::Kind::bodyPartFileIsDirectory);
  }
  EXPECT_THROW(files->uploadToSignedURL("x", "t", velmoria::base::URL::fileURL(folder.write("noext", "x").string())),
               MultipartFormDataError);
  EXPECT_EQ(backend.requestCount(), 0u);
}

TEST_F(StorageServiceTest, SignedUploadURLsCarryTheTokenAndUploadsThroughThemAlwaysSendUpsert) {
  const auto signedURL = files->createSignedUploadURL("docs/report 1.pdf");
  auto sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.target, "/storage/v1/object/upload/sign/photos/docs/report%201.pdf");
  EXPECT_TRUE(sent.body.empty());
  EXPECT_FALSE(sent.header("x-upsert"));
  EXPECT_EQ(signedURL.path, "docs/report 1.pdf");
  EXPECT_EQ(signedURL.token.rfind("up-", 0), 0u);
  EXPECT_EQ(signedURL.signedURL.absoluteString(),
            serviceURL() + "/object/upload/sign/photos/docs/report%201.pdf?token=" + signedURL.token);

  const auto uploaded =
      files->uploadToSignedURL("docs/report 1.pdf", signedURL.token, velmoria::base::dataFromString("%PDF"));
  sent = backend.lastRequest();
  EXPECT_EQ(sent.method, "PUT");
  EXPECT_EQ(sent.queryValue("token"), signedURL.token);
  EXPECT_EQ(sent.header("x-upsert"), "false");
  EXPECT_EQ(uploaded.path, "docs/report 1.pdf");
  EXPECT_EQ(uploaded.fullPath, "photos/docs/report 1.pdf");
  EXPECT_EQ(lastParts(backend).back().contentType, "text/plain;charset=UTF-8");

  files->createSignedUploadURL("a//b.txt", CreateSignedUploadURLOptions{true});
  EXPECT_EQ(backend.lastRequest().header("x-upsert"), "true");
  EXPECT_EQ(backend.lastRequest().path, "/storage/v1/object/upload/sign/photos/a//b.txt");
  FileOptions upsert;
  upsert.upsert = true;
  files->uploadToSignedURL("docs/report 1.pdf", signedURL.token, velmoria::base::dataFromString("%PDF-2"), upsert);
  EXPECT_EQ(backend.lastRequest().header("x-upsert"), "true");
  EXPECT_EQ(storage.object("photos", "docs/report 1.pdf")->content, "%PDF-2");
}

TEST_F(StorageServiceTest, ASignedUploadReplyWithoutAUsableTokenIsRefused) {
  for (const char* reply :
       {R"({"url":"/object/upload/sign/photos/a.txt"})", R"({"url":"/object/upload/sign/photos/a.txt?other=1&token"})",
        R"({"url":"/object/upload/sign/photos/a.txt?token="})"}) {
    storage.failNext(velmoria::testsupport::ScriptedResponse::json(200, reply));
    try {
      files->createSignedUploadURL("a.txt");
      ADD_FAILURE() << "accepted " << reply;
    } catch (const StorageError& error) {
      EXPECT_EQ(error, StorageError(std::nullopt, "No token returned by API", std::nullopt));
    }
  }
  storage.failNext(velmoria::testsupport::ScriptedResponse::json(200, R"({"url":"/a b?token=x"})"));
  EXPECT_THROW(files->createSignedUploadURL("a.txt"), helpers::URLError);
  storage.failNext(velmoria::testsupport::ScriptedResponse::json(200, R"({"link":"/a?token=x"})"));
  EXPECT_THROW(files->createSignedUploadURL("a.txt"), velmoria::base::DecodingError);
}

TEST_F(StorageServiceTest, RepliesWithoutTheirKeysFailToDecode) {
  storage.failNext(velmoria::testsupport::ScriptedResponse::json(200, R"({"Key":"photos/a.txt"})"));
  EXPECT_THROW(files->upload("a.txt", velmoria::base::dataFromString("x")), velmoria::base::DecodingError);
  storage.failNext(velmoria::testsupport::ScriptedResponse::json(200, R"({"Id":"1"})"));
  EXPECT_THROW(files->update("a.txt", velmoria::base::dataFromString("x")), velmoria::base::DecodingError);
}

TEST_F(StorageServiceTest, TheOlderTextFormsReturnTheObjectKey) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  EXPECT_EQ(files->uploadReturningKey("k.txt", velmoria::base::dataFromString("1")), "photos/k.txt");
  EXPECT_EQ(backend.lastRequest().method, "POST");
  EXPECT_EQ(files->updateReturningKey("k.txt", velmoria::base::dataFromString("2")), "photos/k.txt");
  EXPECT_EQ(backend.lastRequest().method, "PUT");
  const auto signedURL = files->createSignedUploadURL("s.txt");
  EXPECT_EQ(files->uploadToSignedURLReturningKey("s.txt", signedURL.token, velmoria::base::dataFromString("3")),
            "photos/s.txt");
#pragma GCC diagnostic pop
  EXPECT_EQ(storage.object("photos", "k.txt")->content, "2");
  EXPECT_EQ(storage.object("photos", "s.txt")->content, "3");
}

}  // namespace
}  // namespace zirudeze::storage
