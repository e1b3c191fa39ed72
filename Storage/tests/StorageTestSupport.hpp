#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/URL.hpp"
#include "helpers/CurlTransport.hpp"
#include "storage/StorageClientConfiguration.hpp"
#include "storage/StorageCoders.hpp"
#include "storage/ZirudezeStorageClient.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeStorage.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace zirudeze::storage::testing {

velmoria::base::URL url(std::string_view text);
std::string text(const velmoria::base::Data& data);
std::string sha256Hex(std::string_view bytes);
std::string hex(std::string_view bytes);

StorageClientConfiguration configurationFor(
    const std::string& serviceURL, std::map<std::string, std::string> headers = {{"apikey", "anon-key"}},
    StorageHTTPSession session = StorageHTTPSession(helpers::CurlTransport::shared()));

// A session that records every transfer request and answers each from a script (the last answer repeats).
class ScriptedSession {
 public:
  struct Answer {
    int status = 200;
    std::string body;
  };
  explicit ScriptedSession(std::vector<Answer> answers = {{200, "{}"}});

  StorageHTTPSession session();
  std::vector<helpers::URLRequest> requests() const;
  helpers::URLRequest lastRequest() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// One part of a body as an independent parser read it; names and file names as their raw bytes.
struct PeerPart {
  std::optional<std::string> name;
  std::optional<std::string> fileName;
  std::optional<std::string> contentType;
  std::uint64_t length = 0;
  std::string sha256;
};
struct PeerReading {
  std::optional<std::string> boundary;
  bool startsWithDelimiter = false;
  bool endsWithCloseDelimiter = false;
  std::vector<std::string> problems;  // the parser's defects or errors
  std::vector<PeerPart> parts;
};
struct RecordedBody {
  std::string contentType;
  std::string body;
};

// Python's standard email parser with its HTTP policy, under Debian's own /usr/bin/python3.
std::vector<PeerReading> readWithEmailParser(const std::vector<RecordedBody>& bodies);
// node-busboy under /usr/bin/node.
std::vector<PeerReading> readWithBusboy(const std::vector<RecordedBody>& bodies);
// The extension table of a mime.types file read by a short Python program of its own.
std::map<std::string, std::string> readMimeTypesWithPython(const std::filesystem::path& file);

// The multipart bodies among the backend's recorded requests.
std::vector<RecordedBody> multipartBodies(const velmoria::testsupport::FakeBackend& backend);

// A temporary folder removed with the object.
using TemporaryFolder = velmoria::testsupport::ScratchFolder;

// Against the fake storage service over loopback. At the end of each test every multipart body the
// service received is read again by both independent parsers, which must find it well formed, under the
// boundary its Content-Type names, and agree on every part.
class StorageServiceTest : public ::testing::Test {
 protected:
  StorageServiceTest();
  void TearDown() override;

  std::string serviceURL() const { return backend.url("/storage/v1"); }
  std::shared_ptr<ZirudezeStorageClient> clientWith(std::map<std::string, std::string> headers);

  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeStorage storage{backend};
  std::shared_ptr<ZirudezeStorageClient> client;
  std::shared_ptr<StorageFileApi> files;
};

}  // namespace zirudeze::storage::testing
