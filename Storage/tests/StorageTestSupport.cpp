#include "StorageTestSupport.hpp"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include "testsupport/ChildProcess.hpp"
#include "testsupport/FakeStorage.hpp"

namespace zirudeze::storage::testing {
namespace {

using Json = nlohmann::json;

std::filesystem::path peersFolder() { return STORAGE_PEERS_DIR; }

std::string unhex(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}

std::optional<std::string> optionalText(const Json& value, bool isHex) {
  if (!value.is_string()) return std::nullopt;
  return isHex ? unhex(value.get<std::string>()) : value.get<std::string>();
}

std::vector<PeerReading> readWith(const std::vector<std::string>& command,
                                  const std::vector<std::pair<std::string, std::string>>& environment,
                                  const std::vector<RecordedBody>& bodies, bool contentTypeIsHex) {
  TemporaryFolder folder;
  Json manifest = Json::array();
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    const auto file = folder.write("body-" + std::to_string(i), bodies[i].body);
    manifest.push_back(Json{{"contentType", bodies[i].contentType}, {"bodyFile", file.string()}});
  }
  const Json answer = Json::parse(velmoria::testsupport::ChildProcess::output(command, environment, manifest.dump()));
  std::vector<PeerReading> readings;
  for (const auto& entry : answer) {
    PeerReading reading;
    reading.boundary = optionalText(entry.value("boundary", Json()), false);
    reading.startsWithDelimiter = entry.value("startsWithDelimiter", false);
    reading.endsWithCloseDelimiter = entry.value("endsWithCloseDelimiter", false);
    for (const char* key : {"defects", "errors"}) {
      if (entry.contains(key)) {
        for (const auto& problem : entry[key]) reading.problems.push_back(problem.get<std::string>());
      }
    }
    for (const auto& part : entry["parts"]) {
      reading.parts.push_back(PeerPart{optionalText(part["name"], true), optionalText(part["filename"], true),
                                       optionalText(part["contentType"], contentTypeIsHex),
                                       part.value("length", std::uint64_t{0}), part.value("sha256", std::string())});
    }
    readings.push_back(std::move(reading));
  }
  return readings;
}

}  // namespace

velmoria::base::URL url(std::string_view text) {
  auto parsed = velmoria::base::URL::parse(text);
  if (!parsed) throw std::invalid_argument("not a URL: " + std::string(text));
  return *parsed;
}

std::string text(const velmoria::base::Data& data) { return velmoria::base::stringFromData(data); }

std::string hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

std::string sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  return hex(std::string_view(reinterpret_cast<const char*>(digest), length));
}

StorageClientConfiguration configurationFor(const std::string& serviceURL, std::map<std::string, std::string> headers,
                                            StorageHTTPSession session) {
  return StorageClientConfiguration(url(serviceURL), std::move(headers), storageJSONEncoder(), storageJSONDecoder(),
                                    std::move(session), nullptr, false);
}

struct ScriptedSession::State {
  std::mutex mutex;
  std::vector<Answer> answers;
  std::vector<helpers::URLRequest> requests;
};

ScriptedSession::ScriptedSession(std::vector<Answer> answers) : state_(std::make_shared<State>()) {
  state_->answers = std::move(answers);
}

StorageHTTPSession ScriptedSession::session() {
  auto fetch = [state = state_](const helpers::URLRequest& request) {
    std::lock_guard lock(state->mutex);
    const Answer& answer = state->answers[std::min(state->requests.size(), state->answers.size() - 1)];
    state->requests.push_back(request);
    auto response = std::make_shared<helpers::HTTPURLResponse>();
    response->url = request.url;
    response->statusCode = answer.status;
    response->allHeaderFields = {{"Content-Type", "application/json"}};
    return helpers::FetchResult{velmoria::base::dataFromString(answer.body), response};
  };
  return StorageHTTPSession(
      fetch, [fetch](const helpers::URLRequest& request, const velmoria::base::Data&) { return fetch(request); });
}

std::vector<helpers::URLRequest> ScriptedSession::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

helpers::URLRequest ScriptedSession::lastRequest() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests.empty() ? helpers::URLRequest{} : state_->requests.back();
}

std::vector<PeerReading> readWithEmailParser(const std::vector<RecordedBody>& bodies) {
  return readWith({"/usr/bin/python3", (peersFolder() / "multipart_email.py").string()}, {}, bodies, true);
}

std::vector<PeerReading> readWithBusboy(const std::vector<RecordedBody>& bodies) {
  return readWith({"/usr/bin/node", (peersFolder() / "multipart_busboy.js").string()},
                  {{"NODE_PATH", "/usr/share/nodejs"}}, bodies, false);
}

std::map<std::string, std::string> readMimeTypesWithPython(const std::filesystem::path& file) {
  const Json table = Json::parse(velmoria::testsupport::ChildProcess::output(
      {"/usr/bin/python3", (peersFolder() / "mime_types.py").string(), file.string()}));
  return table.get<std::map<std::string, std::string>>();
}

std::vector<RecordedBody> multipartBodies(const velmoria::testsupport::FakeBackend& backend) {
  std::vector<RecordedBody> bodies;
  for (const auto& request : backend.requests()) {
    const auto type = request.header("Content-Type");
    if (type && type->rfind("multipart/form-data", 0) == 0) bodies.push_back({*type, request.body});
  }
  return bodies;
}

StorageServiceTest::StorageServiceTest() : client(clientWith({{"apikey", "anon-key"}})), files(client->from("photos")) {
  storage.addBucket("photos");
}

std::shared_ptr<ZirudezeStorageClient> StorageServiceTest::clientWith(std::map<std::string, std::string> headers) {
  return std::make_shared<ZirudezeStorageClient>(configurationFor(serviceURL(), std::move(headers)));
}

void StorageServiceTest::TearDown() {
  const auto bodies = multipartBodies(backend);
  if (bodies.empty()) return;
  const auto email = readWithEmailParser(bodies);
  const auto busboy = readWithBusboy(bodies);
  ASSERT_EQ(email.size(), bodies.size());
  ASSERT_EQ(busboy.size(), bodies.size());
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    SCOPED_TRACE("body " + std::to_string(i) + " of " + bodies[i].contentType);
    EXPECT_TRUE(email[i].problems.empty()) << email[i].problems.front();
    EXPECT_TRUE(busboy[i].problems.empty()) << busboy[i].problems.front();
    EXPECT_TRUE(email[i].startsWithDelimiter);
    EXPECT_TRUE(email[i].endsWithCloseDelimiter);
    ASSERT_EQ(email[i].parts.size(), busboy[i].parts.size());
    const std::string& type = bodies[i].contentType;
    EXPECT_EQ(email[i].boundary, type.substr(type.find("boundary=") + 9));
    for (std::size_t p = 0; p < email[i].parts.size(); ++p) {
      EXPECT_EQ(email[i].parts[p].name, busboy[i].parts[p].name);
      EXPECT_EQ(email[i].parts[p].fileName, busboy[i].parts[p].fileName);
      EXPECT_EQ(email[i].parts[p].length, busboy[i].parts[p].length);
      EXPECT_EQ(email[i].parts[p].sha256, busboy[i].parts[p].sha256);
    }
  }
}

}  // namespace zirudeze::storage::testing
